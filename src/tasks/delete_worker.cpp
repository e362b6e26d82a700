#include "tasks/delete_worker.h"

#include <algorithm>
#include <mutex>

#include "tasks/position_list.h"
#include "tasks/route_book_set.h"
#include "tasks/task_messages.h"

void deleteWorker(TaskContext& context, std::string text) {
    DeviceManager& device = context.device;
    int counter = 0;
    for (long long position : parsePositionList(text)) {
        if (context.control.checkpoint()) break;
        postTaskProgress(TaskKind::Delete, ++counter);
        const RouteBookEntry* entry = nullptr;
        std::string name;
        {
            std::lock_guard<std::mutex> lock(device.routeBooksMutex);
            if (position >= 0 && position < static_cast<long long>(device.routeBooks.size())) {
                entry = device.routeBooks[static_cast<size_t>(position)].get();
                name = entry->fileName;
            }
        }
        if (!entry) {
            postTaskStatus(2);
            break;
        }
        bool removed = context.mode == RapiDevice ? removeRouteBookRemote(context, name)
                                                  : removeRouteBookLocal(context.dataRoot, name);
        if (!removed) {
            // The remote removal has told the page; a set left on a drive is a failure too.
            if (context.mode != RapiDevice) postTaskStatus(11);
            break;
        }
        // The window's thread may have listed the route books again meanwhile: the entry goes
        // by identity, not by its old position.
        std::lock_guard<std::mutex> lock(device.routeBooksMutex);
        auto& list = device.routeBooks;
        auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) {
            return e.get() == entry && e->fileName == name;
        });
        if (it != list.end()) list.erase(it);
    }
    postTaskStatus(0);
}

std::string deleteSelected(DeviceManager& device, std::optional<std::string> text) {
    return startTask(device, std::move(text), deleteWorker);
}
