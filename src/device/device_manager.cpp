#include "device/device_manager.h"

DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() = default;
