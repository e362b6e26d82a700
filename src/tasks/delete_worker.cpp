#include "tasks/delete_worker.h"

#include <algorithm>

#include "common/task_status.h"
#include "tasks/position_list.h"
#include "tasks/route_book_set.h"

void deleteWorker(TaskContext& context, std::string text) {
    NavigatorState& device = context.device;
    int counter = 0;
    for (long long position : parsePositionList(text)) {
        if (context.control.checkpoint()) break;
        postTaskProgress(TaskKind::Delete, ++counter);
        const RouteBookEntry* entry = nullptr;
        std::string name;
        device.routeBooks.use([&](const RouteBookEntries& list) {
            if (position >= 0 && static_cast<unsigned long long>(position) < list.size()) {
                entry = list[static_cast<size_t>(position)].get();
                name = entry->fileName;
            }
        });
        if (!entry) {
            postTaskStatus(TaskStatus::UnknownError);
            break;
        }
        bool removed = context.mode == RapiDevice ? removeRouteBookRemote(context, name)
                                                  : removeRouteBookLocal(context.dataRoot, name);
        if (!removed) {
            // The remote removal has told the page; a set left on a drive is a failure too.
            if (context.mode != RapiDevice) postTaskStatus(TaskStatus::RemoveFailed);
            break;
        }
        // The window's thread may have listed the route books again meanwhile: the entry goes
        // by identity, not by its old position.
        device.routeBooks.use([&](RouteBookEntries& list) {
            auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) {
                return e.get() == entry && e->fileName == name;
            });
            if (it != list.end()) list.erase(it);
        });
    }
    postTaskStatus(TaskStatus::Done);
}
