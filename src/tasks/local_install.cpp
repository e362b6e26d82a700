#include "tasks/local_install.h"

#include <optional>
#include <string_view>
#include <vector>

#include "common/task_status.h"
#include "formats/gpx.h"
#include "formats/track_file.h"
#include "platform/file_info.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/archive.h"
#include "tasks/http_transfer.h"
#include "tasks/import_worker.h"

std::optional<std::string> packageInnerName(const std::string& package) {
    ArchiveReader reader;
    if (!reader.open(package)) return std::nullopt;
    std::optional<std::string> found;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (!reader.currentInfo(info) || info.isFolder ||
            info.name.find(".trk") == std::string::npos)
            continue;
        // As the import renames the set: the entry's name less its last four characters.
        std::string name = info.name.substr(0, info.name.size() - 4);
        size_t slash = platform::lastSeparator(name);
        found = slash == std::string::npos ? name : name.substr(slash + 1);
    }
    return found;
}

namespace {

// Copies the package from the PC to folder/N.zip, where installPackage takes it from.
bool copyPackage(TaskContext& context, const std::string& source, const std::string& package) {
    platform::OsError error;
    std::optional<platform::FileInfo> info = platform::fileInfo(source, &error);
    if (info && info->size > static_cast<uint64_t>(kMaxPackageBytes)) {
        context.device.seat.postStatus(TaskStatus::DownloadTooLarge);
        return false;
    }
    if (!info || !platform::copyFile(source, package, false, &error)) {
        platform::deleteFile(package);
        failWorker(context, TaskStatus::UnpackFailed, error, "install of " + source);
        return false;
    }
    return true;
}

uint64_t sizeOf(const std::string& path) {
    std::optional<platform::FileInfo> info = platform::fileInfo(path);
    return info ? info->size : 0;
}

// Writes the set of `book` where a package would have been unpacked, and checks and stamps it
// as that is.
bool writeSet(TaskContext& context, const GpxImport& book, const std::string& temp,
              const std::string& name) {
    const std::string set = unpackFolder(temp, name);
    platform::removeTree(set);
    const std::string track = platform::joinPath(set, name + ".trk");
    if (!writeRouteBookSet(book, name, set)) {
        platform::removeTree(set);
        context.device.seat.postStatus(TaskStatus::UnpackFailed);
        return false;
    }
    const uint64_t bytes =
        sizeOf(track) + sizeOf(platform::joinPath(platform::joinPath(set, name), name + ".rut"));
    if (!hasRoomToUnpack(context, temp, bytes)) {
        platform::removeTree(set);
        context.device.seat.postStatus(TaskStatus::NoSpace);
        return false;
    }
    stampTrackFile(track);
    return true;
}

PackageInstall install(TaskContext& context, const LocalInstall& request, const std::string& temp) {
    if (!request.book) return installPackage(context, temp, request.name);
    if (context.control.checkpoint()) return PackageInstall::Stopped;
    if (!writeSet(context, *request.book, temp, request.name)) return PackageInstall::Failed;
    return installSet(context, unpackFolder(temp, request.name), request.name);
}

}  // namespace

void localInstallWorker(TaskContext& context, const LocalInstall& request) {
    Seat& seat = context.device.seat;
    const std::string temp = platform::privateFolder();
    if (temp.empty()) {
        seat.postStatus(TaskStatus::UnknownError);
        return;
    }
    seat.postProgress(TaskKind::Import, 1);
    const std::string package = platform::joinPath(temp, request.name + ".zip");
    if (!request.book && !copyPackage(context, request.package, package)) return;
    // The page was told of a route book of that name when it asked; one that came meanwhile is
    // never replaced.
    if (isPresent(context, request.name)) {
        platform::deleteFile(package);
        seat.postStatus(TaskStatus::UnknownError);
        return;
    }
    if (install(context, request, temp) != PackageInstall::Failed)
        seat.postStatus(TaskStatus::Done);
}

bool startLocalInstall(NavigatorState& navigator, TaskState& tasks, LocalInstall request) {
    return startTaskJob(navigator, tasks, [request = std::move(request)](TaskContext& context) {
        localInstallWorker(context, request);
    });
}

bool writeRouteBookSet(const GpxImport& imported, const std::string& name,
                       const std::string& folder) {
    const std::string routeFolder = platform::joinPath(folder, name);
    return platform::createFolder(folder) &&
           writeTrackFile(platform::joinPath(folder, name + ".trk"), kLongTrackVersion,
                          imported.segments) == 1 &&
           platform::createFolder(routeFolder) &&
           imported.route.writeRouteFile(platform::joinPath(routeFolder, name + ".rut")) == 1;
}

bool writeImportPackage(const GpxImport& imported, const std::string& name,
                        const std::string& folder) {
    const std::string trackFile = platform::joinPath(folder, name + ".trk");
    const std::string routeFolder = platform::joinPath(folder, name);
    const std::string package = platform::joinPath(folder, name + ".zip");
    ArchiveWriter writer;
    bool ok = writeRouteBookSet(imported, name, folder) && writer.open(package, folder, false) &&
              writer.addFile(trackFile) &&
              writer.addFile(platform::joinPath(routeFolder, name + ".rut"));
    ok = writer.close() && ok;
    platform::deleteFile(trackFile);
    platform::removeTree(routeFolder);
    if (!ok) platform::deleteFile(package);
    return ok;
}

GpxRouteBook readGpxRouteBook(const std::string& gpxPath, const std::string& name) {
    GpxRouteBook result;
    platform::File file(gpxPath, platform::OpenMode::Read);
    if (!file.isOpen()) return result;
    // As a stream: memory grows with the points kept, not with the file.
    GpxRouteBookBuilder builder(name);
    GpxReader reader(builder);
    std::vector<char> buffer(size_t{1} << 16);
    bool read = true;
    while (size_t n = file.read(buffer.data(), buffer.size()))
        if (!(read = reader.feed(std::string_view(buffer.data(), n)))) break;
    if (!read || !reader.finish()) {
        result.outcome = GpxRouteBook::Outcome::NotGpx;
        result.error = reader.error();
        return result;
    }
    std::optional<GpxImport> imported = builder.finish();
    if (!imported) {
        result.outcome = GpxRouteBook::Outcome::NoPoints;
        return result;
    }
    result.outcome = GpxRouteBook::Outcome::Read;
    result.dropped = imported->dropped.count;
    result.book = std::make_shared<const GpxImport>(std::move(*imported));
    return result;
}
