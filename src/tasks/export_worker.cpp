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

bool buildPackage(const TaskContext& context, const std::string& folder, const std::string& name,
                  platform::OsError* error) {
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
        ok = !platform::folderExists(setFolder) && platform::createFolder(setFolder, error);
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
    if (!ok && error && writer.osError().failed()) *error = writer.osError();
    if (!ok) platform::deleteFile(package);
    return ok;
}

namespace {

enum class ExportStep { Next, Stopped, Failed };

// Fetches the set (over the remote API), packs and uploads it; what it wrote for that is taken
// away whatever happens.
ExportStep exportRouteBook(const TaskContext& context, const std::string& work,
                           const std::string& name) {
    const TaskControl& control = context.control;
    const bool remote = context.mode == RapiDevice;
    // The working copy exists only when the set was fetched over the remote API.
    auto removeWorkingCopy = [&] {
        if (remote) removeRouteBookLocal(work, name);
    };
    if (remote && !copyRouteBookFromDevice(context, work, name)) {
        removeWorkingCopy();
        return ExportStep::Failed;
    }
    if (remote && control.checkpoint()) {
        removeWorkingCopy();
        return ExportStep::Stopped;
    }
    const std::string package = platform::joinPath(work, name + ".zip");
    // A package that cannot be made is a file to upload that cannot be read.
    if (platform::OsError error; !buildPackage(context, work, name, &error)) {
        failWorker(context, TaskStatus::UnknownError, error, "packing " + package);
        removeWorkingCopy();
        return ExportStep::Failed;
    }
    if (control.checkpoint()) {
        platform::deleteFile(package);
        removeWorkingCopy();
        return ExportStep::Stopped;
    }
    if (!uploadFile(context.device.seat, package, context.uploadPath + urlEncode(name + ".zip"),
                    &control)) {
        removeWorkingCopy();
        platform::deleteFile(package);
        return ExportStep::Failed;
    }
    platform::deleteFile(package);
    removeWorkingCopy();
    return control.checkpoint() ? ExportStep::Stopped : ExportStep::Next;
}

}  // namespace

void exportWorker(TaskContext& context, std::string text) {
    const TaskControl& control = context.control;
    const std::string work =
        context.mode == RapiDevice ? platform::privateFolder() : context.dataRoot;
    // Without a folder of its own nothing can be fetched from the navigator.
    if (work.empty()) {
        context.device.seat.postStatus(TaskStatus::TransferError);
        return;
    }
    bool success = true;
    int counter = 0;
    for (long long position : parsePositionList(text)) {
        if (control.checkpoint()) break;
        context.device.seat.postProgress(TaskKind::Export, ++counter);
        std::optional<std::string> name = fileNameAt(context.device, position);
        if (!name) {
            context.device.seat.postStatus(TaskStatus::UnknownError);
            break;
        }
        const ExportStep step = exportRouteBook(context, work, *name);
        if (step == ExportStep::Failed) success = false;
        if (step != ExportStep::Next) break;
    }
    if (success || control.stopRequested()) context.device.seat.postStatus(TaskStatus::Done);
}
