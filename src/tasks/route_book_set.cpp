#include "tasks/route_book_set.h"

#include "common/task_status.h"
#include "device/device_files.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

std::string devicePath(const TaskContext& context, const std::string& name) {
    return context.dataRoot + name;
}

// Copies every entry of a set's folder (names starting with "." are left out) with `copy`;
// posts 9 and stops at the first failure, stops early on a stop request.
template <typename Entries, typename Copy>
bool copyEntries(const TaskContext& context, const Entries& entries, Copy copy) {
    for (const auto& entry : entries) {
        if (!entry.name.empty() && entry.name[0] != '.' && !copy(entry.name)) {
            postTaskStatus(TaskStatus::TransferError);
            return false;
        }
        if (context.control.checkpoint()) return false;
    }
    return true;
}

}  // namespace

bool installRouteBookRemote(const TaskContext& context, const std::string& folder,
                            const std::string& name) {
    RapiBinding& rapi = context.device.rapi;
    const std::string target = devicePath(context, name);
    deviceCreateFolder(rapi, target);
    if (!copyToDevice(rapi, platform::joinPath(folder, name + ".trk"), target + ".trk")) {
        postTaskStatus(TaskStatus::TransferError);
        return false;
    }
    copyToDevice(rapi, platform::joinPath(folder, name + ".sim"), target + ".sim");
    const std::string source = platform::joinPath(folder, name);
    auto entries = platform::listFolder(source);
    if (!entries || entries->empty()) return true;
    bool ok = copyEntries(context, *entries, [&](const std::string& entry) {
        return copyToDevice(rapi, platform::joinPath(source, entry), target + "\\" + entry) != 0;
    });
    return ok && !context.control.stopRequested();
}

bool installRouteBookLocal(const TaskContext& context, const std::string& folder,
                           const std::string& name) {
    const std::string target = platform::joinPath(context.dataRoot, name);
    platform::createFolder(target);
    if (!platform::copyFile(platform::joinPath(folder, name + ".trk"), target + ".trk", false)) {
        postTaskStatus(TaskStatus::TransferError);
        return false;
    }
    platform::copyFile(platform::joinPath(folder, name + ".sim"), target + ".sim", false);
    const std::string source = platform::joinPath(folder, name);
    auto entries = platform::listFolder(source);
    if (!entries || entries->empty()) return true;
    bool ok = copyEntries(context, *entries, [&](const std::string& entry) {
        return platform::copyFile(platform::joinPath(source, entry),
                                  platform::joinPath(target, entry), false);
    });
    return ok && !context.control.stopRequested();
}

bool removeRouteBookRemote(const TaskContext& context, const std::string& name) {
    RapiBinding& rapi = context.device.rapi;
    const std::string target = devicePath(context, name);
    if (!deviceDeleteFile(rapi, target + ".trk")) {
        postTaskStatus(TaskStatus::RemoveFailed);
        return false;
    }
    deviceDeleteFile(rapi, target + ".sim");
    auto entries = findDeviceFiles(rapi, target + "\\*");
    if (!entries || entries->empty()) return true;
    for (const auto& entry : *entries) {
        context.control.waitWhilePaused();
        if (entry.name.empty() || entry.name[0] == '.') continue;
        if (!deviceDeleteFile(rapi, target + "\\" + entry.name)) {
            postTaskStatus(TaskStatus::RemoveFailed);
            break;
        }
    }
    return deviceRemoveFolder(rapi, target) != 0;
}

bool removeRouteBookLocal(const std::string& folder, const std::string& name) {
    if (!platform::deleteFile(platform::joinPath(folder, name + ".trk"))) return false;
    platform::deleteFile(platform::joinPath(folder, name + ".sim"));
    platform::deleteFile(platform::joinPath(folder, name + ".poi"));
    platform::removeTree(platform::joinPath(folder, name));
    return true;
}

bool copyRouteBookFromDevice(const TaskContext& context, const std::string& folder,
                             const std::string& name) {
    RapiBinding& rapi = context.device.rapi;
    const std::string source = devicePath(context, name);
    if (!copyFromDevice(rapi, source + ".trk", platform::joinPath(folder, name + ".trk"))) {
        postTaskStatus(TaskStatus::TransferError);
        return false;
    }
    copyFromDevice(rapi, source + ".sim", platform::joinPath(folder, name + ".sim"));
    auto entries = findDeviceFiles(rapi, source + "\\*");
    if (!entries || entries->empty()) return true;
    const std::string target = platform::joinPath(folder, name);
    platform::createFolder(target);
    bool ok = copyEntries(context, *entries, [&](const std::string& entry) {
        return copyFromDevice(rapi, source + "\\" + entry, platform::joinPath(target, entry)) != 0;
    });
    return ok && !context.control.stopRequested();
}
