#include "session/device_manager.h"

#include "device/device_connection.h"
#include "ops/route_book_list.h"
#include "tasks/delete_worker.h"
#include "tasks/export_worker.h"
#include "tasks/import_worker.h"

// The members do the work: the binding loads the remote API library (the first link is started
// by the first search, or by the window's watch), the upload path starts as its template.
DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() = default;

int checkConnection(DeviceManager& device) {
    if (findNavigator(device)) return 1;
    clearRouteBooks(device);
    return 0;
}

std::string importToPDA(DeviceManager& device, std::optional<std::string> text) {
    return startTask(device, device, std::move(text), importWorker);
}

std::string deleteSelected(DeviceManager& device, std::optional<std::string> text) {
    return startTask(device, device, std::move(text), deleteWorker);
}

std::string exportFromPDA(DeviceManager& device, std::optional<std::string> text) {
    return startTask(device, device, std::move(text), exportWorker);
}
