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

std::string localInstallText(const std::string& package, const std::string& name) {
    return package + '\n' + name;
}

void localInstallWorker(TaskContext& context, std::string text) {
    // A name holds no line feed; a path may.
    const size_t feed = text.rfind('\n');
    const std::string temp = platform::privateFolder();
    if (feed == std::string::npos || temp.empty()) {
        context.device.seat.postStatus(TaskStatus::UnknownError);
        return;
    }
    const std::string source = text.substr(0, feed);
    const std::string name = text.substr(feed + 1);
    context.device.seat.postProgress(TaskKind::Import, 1);
    const std::string package = platform::joinPath(temp, name + ".zip");
    if (!source.empty()) {
        std::optional<platform::FileInfo> info = platform::fileInfo(source);
        if (info && info->size > static_cast<uint64_t>(kMaxPackageBytes)) {
            context.device.seat.postStatus(TaskStatus::DownloadTooLarge);
            return;
        }
        if (!info || !platform::copyFile(source, package, false)) {
            platform::deleteFile(package);
            context.device.seat.postStatus(TaskStatus::UnpackFailed);
            return;
        }
    }
    // The page was told of a route book of that name when it asked; one that came meanwhile is
    // never replaced.
    if (isPresent(context, name)) {
        platform::deleteFile(package);
        context.device.seat.postStatus(TaskStatus::UnknownError);
        return;
    }
    PackageInstall installed = installPackage(context, temp, name);
    if (installed != PackageInstall::Failed) context.device.seat.postStatus(TaskStatus::Done);
}

bool writeImportPackage(const GpxImport& imported, const std::string& name,
                        const std::string& folder) {
    const std::string trackFile = platform::joinPath(folder, name + ".trk");
    const std::string routeFolder = platform::joinPath(folder, name);
    const std::string routeFile = platform::joinPath(routeFolder, name + ".rut");
    const std::string package = platform::joinPath(folder, name + ".zip");
    ArchiveWriter writer;
    bool ok = writeTrackFile(trackFile, kLongTrackVersion, imported.segments) == 1 &&
              platform::createFolder(routeFolder) &&
              imported.route.writeRouteFile(routeFile) == 1 &&
              writer.open(package, folder, false) && writer.addFile(trackFile) &&
              writer.addFile(routeFile);
    ok = writer.close() && ok;
    platform::deleteFile(trackFile);
    platform::removeTree(routeFolder);
    if (!ok) platform::deleteFile(package);
    return ok;
}

GpxPackage writeGpxPackage(const std::string& gpxPath, const std::string& name,
                           const std::string& folder) {
    GpxPackage result;
    platform::File file(gpxPath, platform::OpenMode::Read);
    if (!file.isOpen()) {
        result.outcome = GpxPackage::Outcome::Unreadable;
        return result;
    }
    // As a stream: memory grows with the points kept, not with the file.
    GpxRouteBookBuilder builder(name);
    GpxReader reader(builder);
    std::vector<char> buffer(size_t{1} << 16);
    bool read = true;
    while (size_t n = file.read(buffer.data(), buffer.size()))
        if (!(read = reader.feed(std::string_view(buffer.data(), n)))) break;
    if (!read || !reader.finish()) {
        result.outcome = GpxPackage::Outcome::NotGpx;
        result.error = reader.error();
        return result;
    }
    std::optional<GpxImport> imported = builder.finish();
    if (!imported) {
        result.outcome = GpxPackage::Outcome::NoPoints;
        return result;
    }
    result.dropped = imported->dropped.count;
    if (writeImportPackage(*imported, name, folder)) result.outcome = GpxPackage::Outcome::Written;
    return result;
}
