#include "session/device_manager.h"

#include "device/device_connection.h"
#include "ops/poi_operations.h"
#include "ops/route_book_list.h"
#include "platform/paths.h"
#include "tasks/delete_worker.h"
#include "tasks/export_worker.h"
#include "tasks/import_worker.h"
#include "tasks/route_book_set.h"

// The members do the work: the binding loads the remote API library (the first link is started
// by the first search, or by the window's watch), the upload path starts as its template.
DeviceManager::DeviceManager(Seat& seat) : NavigatorState(seat) {}

DeviceManager::~DeviceManager() = default;

int checkConnection(DeviceManager& device) {
    if (findNavigator(device)) {
        // Once for each navigator found, and never while a task may be writing there. The POI
        // store is the one file the page's methods replace.
        if (device.sweptRoot != device.dataRoot && isTaskIdle(device)) {
            device.sweptRoot = device.dataRoot;
            removeLeftovers(device, device.mode, device.dataRoot, {poiStorePath(device)});
            // Making this run's own folder takes away those of earlier runs that were killed.
            platform::privateFolder();
        }
        return 1;
    }
    clearRouteBooks(device);
    // A navigator found again may have been pulled off in the middle of a replacement.
    device.sweptRoot.clear();
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
