#include "tasks/delete_worker.h"

#include <optional>

#include "common/task_status.h"
#include "tasks/position_list.h"
#include "tasks/route_book_set.h"

void deleteWorker(TaskContext& context, std::string text) {
    NavigatorState& device = context.device;
    int counter = 0;
    for (long long position : parsePositionList(text)) {
        if (context.control.checkpoint()) break;
        context.device.seat.postProgress(TaskKind::Delete, ++counter);
        std::optional<std::string> found;
        device.routeBooks.use([&](const RouteBookEntries& list) {
            if (position >= 0 && static_cast<unsigned long long>(position) < list.size())
                found = list[static_cast<size_t>(position)]->fileName;
        });
        if (!found) {
            context.device.seat.postStatus(TaskStatus::UnknownError);
            break;
        }
        const std::string& name = *found;
        bool removed = context.mode == RapiDevice ? removeRouteBookRemote(context, name)
                                                  : removeRouteBookLocal(context.dataRoot, name);
        if (!removed) {
            // The remote removal has told the page; a set left on a drive is a failure too.
            if (context.mode != RapiDevice)
                context.device.seat.postStatus(TaskStatus::RemoveFailed);
            break;
        }
        // The window's thread may have listed the route books again meanwhile, the set among
        // them while it was half-removed: every entry of its files goes, wherever it stands.
        device.routeBooks.use([&](RouteBookEntries& list) {
            std::erase_if(list, [&](const auto& e) { return e->fileName == name; });
        });
    }
    context.device.seat.postStatus(TaskStatus::Done);
}
