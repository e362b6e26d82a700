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
    const std::string package = platform::joinPath(folder, name + ".zip");
    ArchiveWriter writer;
    const std::string track = platform::joinPath(folder, name + ".trk");
    const std::string sim = platform::joinPath(folder, name + ".sim");
    // A part the set has that cannot be packed fails the package; a part it lacks is left out.
    bool ok = writer.open(package, folder, false) && writer.addFile(track) &&
              (!platform::fileExists(sim) || writer.addFile(sim));
    const std::string setFolder = platform::joinPath(folder, name);
    auto entries = platform::listFolder(setFolder);
    if (ok && !entries) {
        ok = !platform::folderExists(setFolder) && platform::createFolder(setFolder);
        const std::string route = platform::joinPath(setFolder, name + ".rut");
        if (ok)
            context.device.routeData.use(
                [&](RouteBookData& data) { convertTrackToRouteBook(data, route, name, &track); });
        ok = ok && writer.addFile(route);
    } else if (ok) {
        for (const auto& entry : *entries) {
            if (context.control.checkpoint()) break;
            if (!entry.name.empty() && entry.name[0] != '.')
                ok = ok && writer.addFile(platform::joinPath(setFolder, entry.name));
        }
    }
    ok = writer.close() && ok;
    if (!ok) platform::deleteFile(package);
    return ok;
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
        const std::string package = platform::joinPath(work, *name + ".zip");
        // A package that cannot be made is a file to upload that cannot be read.
        if (!buildPackage(context, work, *name)) {
            postTaskStatus(TaskStatus::UnknownError);
            removeWorkingCopy(*name);
            success = false;
            break;
        }
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
