#include "tasks/import_worker.h"

#include <tinyxml.h>

#include <algorithm>
#include <mutex>

#include "device/device_files.h"
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

bool isKnown(DeviceManager& device, const std::string& name) {
    std::lock_guard<std::mutex> lock(device.routeBooksMutex);
    return std::any_of(device.routeBooks.begin(), device.routeBooks.end(),
                       [&](const auto& entry) { return entry->fileName == name; });
}

// A set of this name left in the temporary folder by an earlier import that was stopped would
// keep the unpacked set from taking the name, and be installed instead.
void clearSet(const std::string& folder, const std::string& name) {
    for (const char* extension : {".trk", ".sim", ".poi", ""})
        platform::removeTree(platform::joinPath(folder, name + extension));
}

}  // namespace

bool unpackPackage(const TaskContext& context, const std::string& folder,
                   const std::string& packageName) {
    ArchiveReader reader;
    if (!reader.open(platform::joinPath(folder, packageName + ".zip"))) {
        postTaskStatus(10);
        return false;
    }

    uint64_t total = 0;
    std::string innerName;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (!reader.currentInfo(info)) continue;
        total =
            info.uncompressedSize > UINT64_MAX - total ? UINT64_MAX : total + info.uncompressedSize;
        if (info.name.find(".trk") != std::string::npos)
            innerName = info.name.substr(0, info.name.size() - 4);
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
    clearSet(folder, packageName);
    if (!reader.setOutputFolder(folder) || !reader.extractAll(false)) {
        reader.close();
        postTaskStatus(10);
        return false;
    }
    reader.close();
    if (innerName != packageName) {
        for (size_t i = 0; i < innerName.size(); ++i)
            if (platform::isSeparatorAt(innerName, i)) innerName[i] = platform::kPathSeparator;
        renameRouteBook(context.device.rapi, folder, innerName, packageName);
    }
    stampTrackFile(platform::joinPath(folder, packageName + ".trk"));
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
    // The run's own folder: package names are the server's choice, and in the shared temporary
    // folder another user could have put a link at any of them.
    const std::string temp = platform::privateFolder();
    if (temp.empty()) {
        postTaskStatus(4);
        return;
    }
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
        if (isKnown(context.device, name)) continue;
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
            break;
        }
        bool remote = context.mode == RapiDevice;
        bool installed = remote ? installRouteBookRemote(context, temp, name)
                                : installRouteBookLocal(context, temp, name);
        if (!installed || control.stopRequested()) {
            success = false;
            if (remote)
                removeRouteBookRemote(context, name);
            else
                removeRouteBookLocal(context.dataRoot, name);
        }
        platform::deleteFile(package);
        removeRouteBookLocal(temp, name);
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
