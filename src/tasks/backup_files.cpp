#include "tasks/backup_files.h"

#include <algorithm>

#include "device/device_connection.h"
#include "device/device_files.h"
#include "platform/codepage.h"
#include "platform/disk_space.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"
#include "tasks/backup.h"
#include "tasks/backup_manifest.h"

namespace {

using platform::EntryKind;

// The removable drive the local folder lies on, and the way from its root to the folder; the
// folder itself when it is on none of them. The way is walked without following links.
std::pair<std::string, std::u16string> driveAndWay(const std::string& folder) {
    std::string root;
    for (const std::string& drive : platform::removableDrives()) {
        std::string closed = platform::joinPath(drive, "");
        if (closed.size() > root.size() && folder.size() > closed.size() &&
            folder.compare(0, closed.size(), closed) == 0)
            root = closed;
    }
    if (root.empty()) return {folder, {}};
    std::string way = folder.substr(root.size());
    for (size_t i = 0; i < way.size(); ++i)
        if (platform::isSeparatorAt(way, i)) way[i] = '\\';
    return {root, platform::ansiToUtf16(way)};
}

}  // namespace

std::string navigatorDataFolder(const std::string& dataRoot) {
    size_t end = dataRoot.size();
    while (end > 0 && platform::isSeparatorAt(dataRoot, end - 1))
        --end;
    size_t cut = platform::lastSeparator(std::string_view(dataRoot).substr(0, end));
    return cut == std::string::npos ? std::string() : dataRoot.substr(0, cut + 1);
}

std::u16string navigatorName(const std::string& name) {
    return utf8::toUtf16(name);
}

DataFolder::DataFolder(const TaskContext& context)
    : context_(context), folder_(navigatorDataFolder(context.dataRoot)) {
    if (folder_.empty()) return;
    if (context.mode == RapiDevice) {
        tree_ = std::make_unique<NavigatorTree>(context.device.rapi, folder_);
        return;
    }
    auto [root, way] = driveAndWay(folder_);
    tree_ = std::make_unique<NavigatorTree>(context.device.rapi, root, std::move(way));
}

bool DataFolder::fits(const std::string& name) const {
    return tree_->pathUnits(navigatorName(name)) + kDeviceReplaceSuffixLength <= kMaxSearchPath;
}

std::optional<std::vector<DataFile>> DataFolder::list(std::vector<LeftOut>& passed,
                                                      std::string& problem) const {
    std::vector<DataFile> files;
    if (!known() || !tree_->reachable() || !listInto({}, 0, files, passed, problem)) {
        if (problem.empty()) problem = "cannot list the navigator's folder " + folder_;
        return std::nullopt;
    }
    std::sort(files.begin(), files.end(),
              [](const DataFile& a, const DataFile& b) { return a.name < b.name; });
    return files;
}

bool DataFolder::listInto(const std::u16string& folder, size_t depth, std::vector<DataFile>& out,
                          std::vector<LeftOut>& passed, std::string& problem) const {
    auto entries = tree_->list(folder);
    // The device answers an empty folder as one it cannot list; the data folder is never empty.
    if (!entries && (depth == 0 || !tree_->onDevice())) {
        problem = "cannot list the navigator's folder " + platform::ansiToUtf8(folder_) +
                  utf8::fromUtf16(folder);
        return false;
    }
    if (!entries) return true;
    for (platform::DriveEntry& entry : *entries) {
        std::u16string name = folder + entry.name;
        std::string text = utf8::fromUtf16(name);
        if (!entry.exactName || utf8::toUtf16(text) != name) {
            passed.push_back({text, "a name that is not Unicode text"});
            continue;
        }
        out.push_back({text, entry.kind, entry.size, entry.lastWriteTime, {}});
        if (entry.kind != EntryKind::Folder) continue;
        if (depth + 1 > kMaxBackupFolderDepth) {
            passed.push_back({text + "\\", "folders nest deeper than a navigator's"});
            continue;
        }
        if (!listInto(name + u'\\', depth + 1, out, passed, problem)) return false;
    }
    return true;
}

bool DataFolder::makeFoldersFor(const std::string& name, platform::OsError* error) {
    const std::u16string wide = navigatorName(name);
    for (size_t cut = wide.find(u'\\'); cut != std::u16string::npos;
         cut = wide.find(u'\\', cut + 1)) {
        std::u16string folder = wide.substr(0, cut);
        if (known_.count(folder)) continue;
        // Made, or a folder there already: a failed creation is asked about only then.
        platform::OsError failure;
        if (tree_->createFolder(folder, &failure)) {
            made_.push_back(folder);
        } else if (tree_->kindOf(folder) != EntryKind::Folder) {
            if (error) *error = failure;
            return false;
        }
        known_.insert(std::move(folder));
    }
    return true;
}

void DataFolder::removeMadeFolders() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
        tree_->removeFolder(*it);
    made_.clear();
    known_.clear();
}

std::optional<uint64_t> DataFolder::freeBytes() const {
    if (tree_->onDevice()) {
        std::optional<DeviceStoreInfo> store = deviceStoreInformation(context_.device.rapi);
        if (store) return store->freeSize;
        return std::nullopt;
    }
    std::optional<platform::DiskSpace> space = platform::diskSpace(folder_);
    if (space) return space->available;
    return std::nullopt;
}

void failTask(Seat& seat, BackupOutcome& outcome, TaskStatus status, std::string problem,
              const platform::OsError& cause) {
    outcome.error = cause;
    platform::addContext(outcome.error, platform::utf8ToAnsi(problem));
    outcome.problem = std::move(problem);
    seat.postStatus(status, cause);
}

void logFailure(BackupOutcome& outcome, const std::string& task) {
    if (!outcome.error.failed()) return;
    platform::addContext(outcome.error, task);
    platform::logOsError(outcome.error);
}
