#include "tasks/route_book_set.h"

#include "common/task_status.h"
#include "device/device_files.h"
#include "platform/file_ops.h"
#include "platform/file_replace.h"
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
        if (!entry.name.empty() && entry.name[0] != '.' && !copy(entry)) {
            postTaskStatus(TaskStatus::TransferError);
            return false;
        }
        if (context.control.checkpoint()) return false;
    }
    return true;
}

}  // namespace

bool installRouteBook(const TaskContext& context, const std::string& folder,
                      const std::string& name, InstalledFiles& written) {
    RapiBinding& rapi = context.device.rapi;
    const bool remote = context.mode == RapiDevice;
    // Device paths always take '\'; a drive's take the platform's separator.
    auto target = [&](const std::string& entry) {
        return remote ? context.dataRoot + entry : platform::joinPath(context.dataRoot, entry);
    };
    auto inFolder = [&](const std::string& entry) {
        return remote ? target(name) + "\\" + entry : platform::joinPath(target(name), entry);
    };
    // Each file is replaced only by a whole copy, so a failed copy leaves nothing to take off.
    auto copy = [&](const std::string& from, const std::string& to) {
        bool ok = remote ? copyToDevice(rapi, from, to) != 0 : platform::replaceWithCopy(from, to);
        if (ok) written.files.push_back(to);
        return ok;
    };
    const std::string folderOnNavigator = target(name);
    bool created = remote ? deviceCreateFolder(rapi, folderOnNavigator) != 0
                          : !platform::folderExists(folderOnNavigator) &&
                                platform::createFolder(folderOnNavigator);
    if (created) written.createdFolder = folderOnNavigator;
    if (!copy(platform::joinPath(folder, name + ".trk"), target(name + ".trk"))) {
        postTaskStatus(TaskStatus::TransferError);
        return false;
    }
    const std::string sim = platform::joinPath(folder, name + ".sim");
    if (platform::fileExists(sim)) copy(sim, target(name + ".sim"));
    const std::string source = platform::joinPath(folder, name);
    auto entries = platform::listFolder(source);
    if (!entries || entries->empty()) return !context.control.stopRequested();
    bool ok = copyEntries(context, *entries, [&](const platform::FolderEntry& entry) {
        // The set's folder is one level deep: what lies in a folder below it is not installed.
        if (entry.attributes & platform::kAttrDirectory) return true;
        return copy(platform::joinPath(source, entry.name), inFolder(entry.name));
    });
    return ok && !context.control.stopRequested();
}

bool removeInstalledFiles(const TaskContext& context, const InstalledFiles& written) {
    RapiBinding& rapi = context.device.rapi;
    const bool remote = context.mode == RapiDevice;
    bool ok = true;
    for (auto it = written.files.rbegin(); it != written.files.rend(); ++it)
        ok = (remote ? deviceDeleteFile(rapi, *it) != 0 : platform::deleteFile(*it)) && ok;
    if (!written.createdFolder.empty())
        ok = (remote ? deviceRemoveFolder(rapi, written.createdFolder) != 0
                     : platform::removeFolder(written.createdFolder)) &&
             ok;
    if (!ok && remote) postTaskStatus(TaskStatus::RemoveFailed);
    return ok;
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
    if (!entries || entries->empty()) {
        // The device lists an empty folder as nothing: it goes if it is there.
        deviceRemoveFolder(rapi, target);
        return true;
    }
    for (const auto& entry : *entries) {
        context.control.waitWhilePaused();
        if (entry.name.empty() || entry.name[0] == '.') continue;
        if (!deviceDeleteFile(rapi, target + "\\" + entry.name)) {
            postTaskStatus(TaskStatus::RemoveFailed);
            return false;
        }
    }
    // A folder left behind is a set not removed: the page hears of it.
    if (deviceRemoveFolder(rapi, target)) return true;
    postTaskStatus(TaskStatus::RemoveFailed);
    return false;
}

bool removeRouteBookLocal(const std::string& folder, const std::string& name) {
    if (!platform::deleteFile(platform::joinPath(folder, name + ".trk"))) return false;
    platform::deleteFile(platform::joinPath(folder, name + ".sim"));
    platform::deleteFile(platform::joinPath(folder, name + ".poi"));
    // A folder that stays is a set not removed.
    return platform::removeTree(platform::joinPath(folder, name));
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
    bool ok = copyEntries(context, *entries, [&](const platform::FolderEntry& entry) {
        return copyFromDevice(rapi, source + "\\" + entry.name,
                              platform::joinPath(target, entry.name)) != 0;
    });
    return ok && !context.control.stopRequested();
}
