#include "device/device_manager.h"

// The members do the work: the binding loads the remote API library and tries a first link, the
// upload path starts as its template.
DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() = default;
