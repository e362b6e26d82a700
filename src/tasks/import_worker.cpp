#include "tasks/import_worker.h"

#include <tinyxml.h>

#include <algorithm>
#include <unordered_set>

#include "common/task_status.h"
#include "device/device_files.h"
#include "device/device_names.h"
#include "formats/track_file.h"
#include "formats/xml_bounds.h"
#include "ops/route_book_list.h"
#include "platform/codepage.h"
#include "platform/disk_space.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "tasks/archive.h"
#include "tasks/http_transfer.h"
#include "tasks/route_book_set.h"

namespace {

bool nameContains(const TiXmlNode* node, const char* part) {
    return node && node->Type() == TiXmlNode::TINYXML_ELEMENT &&
           std::string_view(node->Value()).find(part) != std::string_view::npos;
}

std::string textOf(const TiXmlNode* node) {
    const char* text = node->ToElement()->GetText();
    return text ? text : "";
}

// The track entries of a package: entries that are no folder and whose name holds ".trk".
bool isTrackEntry(const ArchiveEntryInfo& info) {
    return !info.isFolder && info.name.find(".trk") != std::string::npos;
}

}  // namespace

// The storage ignores letter case, so a name that differs from a present set's only in case is
// that set. The storage itself is asked too: the list may not have been read yet, or be stale.
std::optional<std::string> presentName(const TaskContext& context, const std::string& name) {
    std::optional<std::string> listed = context.device.routeBooks.use(
        [&](const RouteBookEntries& list) -> std::optional<std::string> {
            for (const auto& entry : list)
                if (sameDeviceName(entry->fileName, name)) return entry->fileName;
            return std::nullopt;
        });
    if (listed) return listed;
    auto found = context.mode == RapiDevice
                     ? findDeviceFiles(context.device.rapi, context.dataRoot + "*")
                     : platform::listFolder(context.dataRoot);
    if (!found) return std::nullopt;
    const std::string track = name + ".trk";
    for (const platform::FolderEntry& e : *found)
        if (!(e.attributes & platform::kAttrDirectory) && sameDeviceName(e.name, track))
            return e.name.substr(0, e.name.size() - 4);
    return std::nullopt;
}

bool isPresent(const TaskContext& context, const std::string& name) {
    return presentName(context, name).has_value();
}

std::string unpackFolder(const std::string& folder, const std::string& packageName) {
    return platform::joinPath(folder, packageName + ".unpacked");
}

namespace {

// What the package's listing says of it: the unpacked size and the route book's name inside.
struct PackageSurvey {
    uint64_t total = 0;
    std::string innerName;
};

// Nothing when the listing is no package of one route book that can be unpacked safely.
std::optional<PackageSurvey> surveyPackage(ArchiveReader& reader) {
    PackageSurvey survey;
    int tracks = 0;
    size_t entries = 0;
    // Two entries that name one file (the navigator ignores letter case) would leave the last
    // one's content in place of the first's without a word.
    std::unordered_set<std::u16string> names;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (++entries > kMaxPackageEntries) return std::nullopt;
        if (!reader.currentInfo(info)) continue;
        if (!info.isFolder && !names.insert(foldedDeviceName(info.name)).second)
            return std::nullopt;
        survey.total = info.uncompressedSize > UINT64_MAX - survey.total
                           ? UINT64_MAX
                           : survey.total + info.uncompressedSize;
        if (isTrackEntry(info)) {
            ++tracks;
            survey.innerName = info.name.substr(0, info.name.size() - 4);
        }
    }
    // A package holds one route book: with no track or several it is not one.
    if (tracks != 1) return std::nullopt;
    // The set is renamed from the inner name; a folder entry is never unpacked and so never
    // checked, and its name must not let the renaming take files from outside the folder.
    if (!survey.innerName.empty() && !staysInsideFolder(survey.innerName)) return std::nullopt;
    return survey;
}

}  // namespace

bool hasRoomToUnpack(const TaskContext& context, const std::string& folder, uint64_t total) {
    std::optional<platform::DiskSpace> space = platform::diskSpace(folder);
    // free < 5 * total, without overflow.
    if (space && space->available / 5 < total) return false;
    if (context.mode != RapiDevice) return true;
    std::optional<DeviceStoreInfo> store = deviceStoreInformation(context.device.rapi);
    return !store || store->freeSize / 5 >= total;
}

namespace {

// Unpacks into `output` and renames the set from its inner name to the package's.
bool extractAs(const TaskContext& context, ArchiveReader& reader, const std::string& output,
               std::string innerName, const std::string& packageName) {
    bool unpacked = reader.setOutputFolder(output) && reader.extractAll(false);
    reader.close();
    if (!unpacked || innerName == packageName) return unpacked;
    for (size_t i = 0; i < innerName.size(); ++i)
        if (platform::isSeparatorAt(innerName, i)) innerName[i] = platform::kPathSeparator;
    return renameRouteBook(context.device.rapi, platform::joinPath(output, ""), innerName,
                           packageName) != 0;
}

}  // namespace

bool unpackPackage(const TaskContext& context, const std::string& folder,
                   const std::string& packageName) {
    const std::string output = unpackFolder(folder, packageName);
    // Whatever an earlier, stopped import left there is not this package's.
    platform::removeTree(output);
    ArchiveReader reader;
    std::optional<PackageSurvey> survey;
    const std::string package = platform::joinPath(folder, packageName + ".zip");
    if (!reader.open(package) || !(survey = surveyPackage(reader))) {
        failWorker(context, TaskStatus::UnpackFailed, reader.osError(), "unpacking " + package);
        return false;
    }
    if (!hasRoomToUnpack(context, folder, survey->total)) {
        context.device.seat.postStatus(TaskStatus::NoSpace);
        return false;
    }
    // The package goes into a folder of its own, so that a refused or failed one is taken away
    // whole, entries outside the set and those unpacked before a failing one included.
    if (!extractAs(context, reader, output, survey->innerName, packageName)) {
        platform::removeTree(output);
        failWorker(context, TaskStatus::UnpackFailed, reader.osError(), "unpacking " + package);
        return false;
    }
    stampTrackFile(platform::joinPath(output, packageName + ".trk"));
    return true;
}

PackageInstall installPackage(TaskContext& context, const std::string& folder,
                              const std::string& name) {
    const std::string package = platform::joinPath(folder, name + ".zip");
    if (context.control.checkpoint()) {
        platform::deleteFile(package);
        return PackageInstall::Stopped;
    }
    bool unpacked = unpackPackage(context, folder, name);
    platform::deleteFile(package);
    if (!unpacked) return PackageInstall::Failed;
    return installSet(context, unpackFolder(folder, name), name);
}

PackageInstall installSet(TaskContext& context, const std::string& set, const std::string& name) {
    const TaskControl& control = context.control;
    if (control.checkpoint()) {
        platform::removeTree(set);
        return PackageInstall::Stopped;
    }
    // Only what this import wrote is taken off again: a file it found there is never its.
    InstalledFiles written;
    bool installed = installRouteBook(context, set, name, written) && !control.stopRequested();
    if (!installed) removeInstalledFiles(context, written);
    platform::removeTree(set);
    if (!installed) return PackageInstall::Failed;
    if (control.checkpoint()) return PackageInstall::Stopped;
    context.device.routeBooks.use([&](RouteBookEntries& list) {
        list.push_back(std::make_unique<RouteBookEntry>(RouteBookEntry{name, name}));
    });
    return PackageInstall::Installed;
}

std::optional<std::vector<ImportItem>> readImportItems(std::string text) {
    // The page writes the URL's "&" as they are; the parser would take them for entities.
    std::replace(text.begin(), text.end(), '&', '%');
    TiXmlDocument document;
    std::string refusal;
    if (!parseBoundedXml(document, text, kPageArgumentLimits, refusal)) {
        platform::logLine("importToPDA: the item list was refused: " + refusal);
        return std::nullopt;
    }
    // An empty text lists nothing; a malformed one is refused.
    if (document.Error() && document.ErrorId() != TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY)
        return std::nullopt;
    std::vector<ImportItem> items;
    ImportItem item;
    for (const TiXmlNode* node = document.FirstChildElement(); node; node = node->NextSibling()) {
        if (nameContains(node, "rb")) {
            const TiXmlNode* first = node->FirstChild();
            if (nameContains(first, "url")) {
                item.url = textOf(first);
                std::replace(item.url.begin(), item.url.end(), '%', '&');
            }
            const TiXmlNode* second = first ? first->NextSibling() : nullptr;
            if (nameContains(second, "name")) item.name = textOf(second);
        }
        items.push_back(item);
    }
    return items;
}

void importWorker(TaskContext& context, std::string text) {
    std::optional<std::vector<ImportItem>> items = readImportItems(std::move(text));
    if (!items) {
        context.device.seat.postStatus(TaskStatus::UnknownError);
        return;
    }
    runImport(context, ImportRequest{std::move(*items)});
}

void runImport(TaskContext& context, const ImportRequest& request) {
    const TaskControl& control = context.control;
    // The run's own folder: package names are the server's choice, and in the shared temporary
    // folder another user could have put a link at any of them.
    const std::string temp = platform::privateFolder();
    if (temp.empty()) {
        context.device.seat.postStatus(TaskStatus::DownloadFailed);
        return;
    }
    int counter = 0;
    bool success = true;
    for (const ImportItem& item : request.items) {
        const std::string& name = item.name;
        context.device.seat.postProgress(TaskKind::Import, ++counter);
        if (isPresent(context, name)) continue;
        if (control.checkpoint()) break;
        const std::string package = platform::joinPath(temp, name + ".zip");
        const std::string unpacked = unpackFolder(temp, name);
        // The name becomes a file name on the navigator, where the set first goes under its
        // installation's longer name, and in the private folder, where it is unpacked.
        if (!isRouteBookFileName(context.dataRoot, name) ||
            !installationFits(context.dataRoot, name) ||
            platform::joinPath(platform::joinPath(unpacked, name), name + ".rut").size() >
                platform::kMaxLocalPath) {
            context.device.seat.postStatus(TaskStatus::UnknownError);
            success = false;
            break;
        }

        if (!downloadFile(context.device.seat, item.url, package, &control, request.local)) {
            success = false;
            break;
        }
        PackageInstall installed = installPackage(context, temp, name);
        if (installed == PackageInstall::Failed) success = false;
        if (installed != PackageInstall::Installed) break;
    }
    if (success || control.stopRequested()) context.device.seat.postStatus(TaskStatus::Done);
}
