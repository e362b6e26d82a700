#include "tasks/import_worker.h"

#include <tinyxml.h>

#include <algorithm>
#include <mutex>

#include "device/device_files.h"
#include "device/device_names.h"
#include "formats/track_file.h"
#include "ops/route_book_list.h"
#include "platform/codepage.h"
#include "platform/disk_space.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/archive.h"
#include "tasks/http_transfer.h"
#include "tasks/route_book_set.h"
#include "tasks/task_messages.h"

namespace {

bool nameContains(const TiXmlNode* node, const char* part) {
    return node && node->Type() == TiXmlNode::TINYXML_ELEMENT &&
           std::string_view(node->Value()).find(part) != std::string_view::npos;
}

std::string textOf(const TiXmlNode* node) {
    const char* text = node->ToElement()->GetText();
    return text ? text : "";
}

// The storage ignores letter case, so a name that differs from a present set's only in case is
// that set. The storage itself is asked too: the list may not have been read yet, or be stale.
bool isPresent(const TaskContext& context, const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(context.device.routeBooksMutex);
        for (const auto& entry : context.device.routeBooks)
            if (sameDeviceName(entry->fileName, name)) return true;
    }
    auto found = context.mode == RapiDevice
                     ? findDeviceFiles(context.device.rapi, context.dataRoot + "*")
                     : platform::listFolder(context.dataRoot);
    if (!found) return false;
    const std::string track = name + ".trk";
    return std::any_of(found->begin(), found->end(), [&](const platform::FolderEntry& e) {
        return !(e.attributes & platform::kAttrDirectory) && sameDeviceName(e.name, track);
    });
}

// The track entries of a package: entries that are no folder and whose name holds ".trk".
bool isTrackEntry(const ArchiveEntryInfo& info) {
    return !info.isFolder && info.name.find(".trk") != std::string::npos;
}

}  // namespace

std::string unpackFolder(const std::string& folder, const std::string& packageName) {
    return platform::joinPath(folder, packageName + ".unpacked");
}

bool unpackPackage(const TaskContext& context, const std::string& folder,
                   const std::string& packageName) {
    const std::string output = unpackFolder(folder, packageName);
    // Whatever an earlier, stopped import left there is not this package's.
    platform::removeTree(output);
    ArchiveReader reader;
    if (!reader.open(platform::joinPath(folder, packageName + ".zip"))) {
        postTaskStatus(10);
        return false;
    }

    uint64_t total = 0;
    std::string innerName;
    int tracks = 0;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (!reader.currentInfo(info)) continue;
        total =
            info.uncompressedSize > UINT64_MAX - total ? UINT64_MAX : total + info.uncompressedSize;
        if (isTrackEntry(info)) {
            ++tracks;
            innerName = info.name.substr(0, info.name.size() - 4);
        }
    }
    // A package holds one route book: with no track or several it is not one.
    if (tracks != 1) {
        postTaskStatus(10);
        return false;
    }
    std::optional<platform::DiskSpace> space = platform::diskSpace(folder);
    // free < 5 * total, without overflow.
    if (space && space->available / 5 < total) {
        postTaskStatus(6);
        return false;
    }
    if (context.mode == RapiDevice) {
        std::optional<DeviceStoreInfo> store = deviceStoreInformation(context.device.rapi);
        if (store && store->freeSize / 5 < total) {
            postTaskStatus(6);
            return false;
        }
    }
    // The package goes into a folder of its own, so that a refused or failed one is taken away
    // whole, entries outside the set and those unpacked before a failing one included.
    bool unpacked = reader.setOutputFolder(output) && reader.extractAll(false);
    reader.close();
    if (unpacked && innerName != packageName) {
        for (size_t i = 0; i < innerName.size(); ++i)
            if (platform::isSeparatorAt(innerName, i)) innerName[i] = platform::kPathSeparator;
        unpacked = renameRouteBook(context.device.rapi, platform::joinPath(output, ""), innerName,
                                   packageName) != 0;
    }
    if (!unpacked) {
        platform::removeTree(output);
        postTaskStatus(10);
        return false;
    }
    stampTrackFile(platform::joinPath(output, packageName + ".trk"));
    return true;
}

void importWorker(TaskContext& context, std::string text) {
    const TaskControl& control = context.control;
    std::replace(text.begin(), text.end(), '&', '%');
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    // An empty text lists nothing; a malformed one is refused.
    if (document.Error() && document.ErrorId() != TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY) {
        postTaskStatus(2);
        return;
    }
    const std::string temp = platform::tempFolder();
    int counter = 0;
    bool success = true;
    std::string url;
    std::string name;
    for (const TiXmlNode* node = document.FirstChildElement(); node; node = node->NextSibling()) {
        if (nameContains(node, "rb")) {
            const TiXmlNode* first = node->FirstChild();
            if (nameContains(first, "url")) url = textOf(first);
            const TiXmlNode* second = first ? first->NextSibling() : nullptr;
            if (nameContains(second, "name")) name = textOf(second);
        }
        postTaskProgress(TaskKind::Import, ++counter);
        if (isPresent(context, name)) continue;
        if (control.checkpoint()) break;
        // The name becomes a file name in the temporary folder and on the navigator.
        if (!isRouteBookFileName(context.dataRoot, name)) {
            postTaskStatus(2);
            success = false;
            break;
        }
        std::string packageUrl = url;
        std::replace(packageUrl.begin(), packageUrl.end(), '%', '&');
        const std::string package = platform::joinPath(temp, name + ".zip");
        const std::string unpacked = unpackFolder(temp, name);

        if (!downloadFile(packageUrl, package, &control)) {
            success = false;
            break;
        }
        if (control.checkpoint()) {
            platform::deleteFile(package);
            break;
        }
        if (!unpackPackage(context, temp, name)) {
            platform::deleteFile(package);
            success = false;
            break;
        }
        if (control.checkpoint()) {
            platform::deleteFile(package);
            platform::removeTree(unpacked);
            break;
        }
        // Only what this import wrote is taken off again: a file it found there is never its.
        InstalledFiles written;
        if (!installRouteBook(context, unpacked, name, written) || control.stopRequested()) {
            success = false;
            removeInstalledFiles(context, written);
        }
        platform::deleteFile(package);
        platform::removeTree(unpacked);
        if (!success || control.checkpoint()) break;
        std::lock_guard<std::mutex> lock(context.device.routeBooksMutex);
        context.device.routeBooks.push_back(
            std::make_unique<RouteBookEntry>(RouteBookEntry{name, name}));
    }
    if (success || control.stopRequested()) postTaskStatus(0);
}

std::string importToPDA(DeviceManager& device, std::optional<std::string> text) {
    return startTask(device, std::move(text), importWorker);
}
