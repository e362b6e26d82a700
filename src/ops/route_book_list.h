#pragma once

#include <string>

#include "device/device_manager.h"

// The list of route books on the navigator (DeviceManager::routeBooks, index = rbid) and the
// route book list document the page shows. The list is guarded by routeBooksMutex.

// Frees every entry and empties the list.
void clearRouteBooks(DeviceManager& device);
