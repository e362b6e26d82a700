#include "tasks/export_worker.h"

#include "common/task_status.h"
#include "formats/track_conversion.h"
#include "ops/route_book_list.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/archive.h"
#include "tasks/http_transfer.h"
#include "tasks/position_list.h"
#include "tasks/route_book_set.h"

bool buildPackage(const TaskContext& context, const std::string& folder, const std::string& name) {
    ArchiveWriter writer;
    writer.open(platform::joinPath(folder, name + ".zip"), folder, false);
    const std::string track = platform::joinPath(folder, name + ".trk");
    writer.addFile(track);
    writer.addFile(platform::joinPath(folder, name + ".sim"));
    const std::string setFolder = platform::joinPath(folder, name);
    auto entries = platform::listFolder(setFolder);
    if (!entries) {
        platform::createFolder(setFolder);
        const std::string route = platform::joinPath(setFolder, name + ".rut");
        context.device.routeData.use(
            [&](RouteBookData& data) { convertTrackToRouteBook(data, route, name, &track); });
        writer.addFile(route);
    } else {
        for (const auto& entry : *entries) {
            if (context.control.checkpoint()) break;
            if (!entry.name.empty() && entry.name[0] != '.')
                writer.addFile(platform::joinPath(setFolder, entry.name));
        }
    }
    writer.close();
    return true;
}

void exportWorker(TaskContext& context, std::string text) {
    const TaskControl& control = context.control;
    const bool remote = context.mode == RapiDevice;
    const std::string work = remote ? platform::privateFolder() : context.dataRoot;
    // Without a folder of its own nothing can be fetched from the navigator.
    if (work.empty()) {
        postTaskStatus(TaskStatus::TransferError);
        return;
    }
    bool success = true;
    int counter = 0;
    // The working copy exists only when the set was fetched over the remote API.
    auto removeWorkingCopy = [&](const std::string& name) {
        if (remote) removeRouteBookLocal(work, name);
    };
    for (long long position : parsePositionList(text)) {
        if (control.checkpoint()) break;
        postTaskProgress(TaskKind::Export, ++counter);
        std::optional<std::string> name = fileNameAt(context.device, position);
        if (!name) {
            postTaskStatus(TaskStatus::UnknownError);
            break;
        }
        if (remote) {
            if (!copyRouteBookFromDevice(context, work, *name)) {
                removeRouteBookLocal(work, *name);
                success = false;
                break;
            }
            if (control.checkpoint()) {
                removeRouteBookLocal(work, *name);
                break;
            }
        }
        buildPackage(context, work, *name);
        const std::string package = platform::joinPath(work, *name + ".zip");
        if (control.checkpoint()) {
            platform::deleteFile(package);
            removeWorkingCopy(*name);
            break;
        }
        const std::string objectName = context.uploadPath + urlEncode(*name + ".zip");
        if (!uploadFile(package, objectName, &control)) {
            removeWorkingCopy(*name);
            platform::deleteFile(package);
            success = false;
            break;
        }
        platform::deleteFile(package);
        removeWorkingCopy(*name);
        if (control.checkpoint()) break;
    }
    if (success || control.stopRequested()) postTaskStatus(TaskStatus::Done);
}
