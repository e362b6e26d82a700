#include "ops/route_book_list.h"

#include <mutex>

void clearRouteBooks(DeviceManager& device) {
    std::lock_guard<std::mutex> lock(device.routeBooksMutex);
    device.routeBooks.clear();
}
