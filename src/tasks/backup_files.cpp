#include "tasks/backup_files.h"

#include <algorithm>

#include "device/device_connection.h"
#include "device/device_files.h"
#include "platform/codepage.h"
#include "platform/disk_space.h"
#include "platform/paths.h"
#include "tasks/backup.h"

namespace {

// Deeper than any navigator's folders, and than its paths can reach with names.
constexpr int kMaxFolderDepth = 32;

}  // namespace

std::string navigatorDataFolder(const std::string& dataRoot) {
    size_t end = dataRoot.size();
    while (end > 0 && platform::isSeparatorAt(dataRoot, end - 1))
        --end;
    size_t cut = platform::lastSeparator(std::string_view(dataRoot).substr(0, end));
    return cut == std::string::npos ? std::string() : dataRoot.substr(0, cut + 1);
}

DataFolder::DataFolder(const TaskContext& context)
    : context_(context),
      device_(context.mode == RapiDevice),
      files_(context.device.rapi, device_),
      folder_(navigatorDataFolder(context.dataRoot)) {}

std::string DataFolder::pathOf(const std::string& name) const {
    std::string path = folder_ + name;
    if (!device_)
        for (size_t i = folder_.size(); i < path.size(); ++i)
            if (path[i] == '\\' && platform::isSeparatorAt(path, i))
                path[i] = platform::kPathSeparator;
    return path;
}

bool DataFolder::fits(const std::string& name) const {
    std::string path = pathOf(name);
    size_t units = device_ ? platform::ansiToUtf16(path).size() : path.size();
    return units + kDeviceReplaceSuffixLength <= kMaxSearchPath;
}

std::optional<std::vector<DataFile>> DataFolder::listFiles(std::string& problem) const {
    std::vector<DataFile> files;
    if (!known() || !listInto(folder_, "", 0, files, problem)) return std::nullopt;
    std::sort(files.begin(), files.end(),
              [](const DataFile& a, const DataFile& b) { return a.name < b.name; });
    return files;
}

bool DataFolder::listInto(const std::string& folder, const std::string& prefix, int depth,
                          std::vector<DataFile>& out, std::string& problem) const {
    if (depth > kMaxFolderDepth) {
        problem = "the folders below " + prefix + " nest deeper than a navigator's";
        return false;
    }
    auto entries = files_.list(folder);
    // The device answers an empty folder as one it cannot list; the data folder is never empty.
    if (!entries && (depth == 0 || !device_)) {
        problem = "cannot list the navigator's folder " + folder;
        return false;
    }
    if (!entries) return true;
    for (const platform::FolderEntry& entry : *entries) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string name = prefix + entry.name;
        if (!(entry.attributes & platform::kAttrDirectory)) {
            out.push_back({name, entry.size, entry.lastWriteTime, {}});
            continue;
        }
        std::string below = device_
                                ? folder + entry.name + "\\"
                                : platform::joinPath(platform::joinPath(folder, entry.name), "");
        if (!listInto(below, name + "\\", depth + 1, out, problem)) return false;
    }
    return true;
}

bool DataFolder::makeFoldersFor(const std::string& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '\\' || !platform::isSeparatorAt(name, i)) continue;
        std::string folder = name.substr(0, i);
        if (known_.count(folder)) continue;
        std::string path = pathOf(folder);
        // Made, or there already: a failed creation is asked about only then.
        if (files_.createFolder(path))
            made_.push_back(path);
        else if (!files_.isFolder(path))
            return false;
        known_.insert(folder);
    }
    return true;
}

void DataFolder::removeMadeFolders() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
        files_.removeFolder(*it);
    made_.clear();
    known_.clear();
}

std::optional<uint64_t> DataFolder::freeBytes() const {
    if (device_) {
        std::optional<DeviceStoreInfo> store = deviceStoreInformation(context_.device.rapi);
        if (store) return store->freeSize;
        return std::nullopt;
    }
    std::optional<platform::DiskSpace> space = platform::diskSpace(folder_);
    if (space) return space->available;
    return std::nullopt;
}

void failTask(Seat& seat, BackupOutcome& outcome, TaskStatus status, std::string problem) {
    outcome.problem = std::move(problem);
    seat.postStatus(status);
}
