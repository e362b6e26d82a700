#include "platform/private_folder.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_ops.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace platform {

namespace {

// A folder that nobody holds is left alone while it is this new: its run may be between making
// it and holding it. The age comes first: a probe keeps a new run from holding its folder for a
// moment.
constexpr FileTime kUnheldGrace = 2 * filetime::kTicksPerSecond;

struct RunFolder {
    std::mutex mutex;
    std::string path;  // with the final separator; empty until made
    unsigned long owner = 0;
    unsigned long registered = 0;
};

RunFolder& runFolder() {
    static RunFolder folder;
    return folder;
}

std::string withoutSeparator(const std::string& folder) {
    return folder.substr(0, folder.size() - 1);
}

void removeRunFolder() {
    RunFolder& folder = runFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    if (!folder.path.empty() && folder.owner == run_folder::processId()) {
        run_folder::release();
        removeTree(withoutSeparator(folder.path));
    }
    folder.path.clear();
}

// Only what a run folder's random part can be: nothing that leads elsewhere.
bool isRandomPart(std::string_view name) {
    return name.size() == run_folder::kRandomLength &&
           name.find_first_not_of(
               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") ==
               std::string_view::npos;
}

// Whether the run that made this folder (a closed one of the user's) has ended. The system's
// own time: a test's clock says nothing about other runs.
bool runEnded(const std::string& path) {
    std::optional<FileInfo> info = fileInfo(path);
    if (!info || info->lastWriteTime + kUnheldGrace >= Clock().utcNow()) return false;
    return !run_folder::isHeld(path);
}

// Removes the run folders that earlier runs of the user left in `parent` when they were killed:
// only folders of this program's name pattern that are the user's own and closed to others,
// and only when their run has ended.
void removeEndedRuns(const std::string& parent, const std::string& own) {
    std::optional<std::vector<FolderEntry>> entries = listFolder(parent);
    if (!entries) return;
    std::vector<std::string> ended;
    for (const FolderEntry& e : *entries) {
        if (e.name.rfind(kRunFolderPrefix, 0) != 0 ||
            !isRandomPart(std::string_view(e.name).substr(kRunFolderPrefix.size())))
            continue;
        std::string path = parent + e.name;
        if (path + kPathSeparator == own ||
            run_folder::whatStandsAt(path) != run_folder::Found::Closed)
            continue;
        if (runEnded(path)) ended.push_back(path);
    }
    for (const std::string& path : ended)
        removeTree(path);
}

// Where run folders are made, the first that has room first.
std::vector<std::string> runFolderParents() {
    std::vector<std::string> parents;
    for (std::string parent : {run_folder::runtimeFolder(), tempFolder()})
        if (!parent.empty()) parents.push_back(parent);
    return parents;
}

}  // namespace

std::string createPrivateFolder(const std::string& parent, OsError* error) {
    if (parent.empty()) return {};
    return run_folder::makeClosed(joinPath(parent, kRunFolderPrefix), error);
}

std::string privateFolder() {
    RunFolder& folder = runFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    const unsigned long self = run_folder::processId();
    if (!folder.path.empty() && folder.owner == self &&
        run_folder::whatStandsAt(withoutSeparator(folder.path)) == run_folder::Found::Closed)
        return folder.path;
    folder.path.clear();
    for (const std::string& parent : runFolderParents())
        if (folder.path.empty()) folder.path = createPrivateFolder(parent);
    if (folder.path.empty()) return {};
    const std::string own = withoutSeparator(folder.path);
    run_folder::hold(own);
    removeEndedRuns(own.substr(0, lastSeparator(own) + 1), folder.path);
    folder.owner = self;
    if (folder.registered != self) {
        folder.registered = self;
        std::atexit(removeRunFolder);
    }
    return folder.path;
}

std::string privateFile(std::string_view name) {
    std::string folder = privateFolder();
    return folder.empty() ? std::string() : folder + std::string(name);
}

std::string runName() {
    std::string folder = privateFolder();
    if (folder.empty()) return {};
    folder.pop_back();
    return folder.substr(lastSeparator(folder) + 1 + kRunFolderPrefix.size());
}

bool runMayBeLive(const std::string& name) {
    if (name == runName()) return true;
    if (!isRandomPart(name)) return false;
    for (const std::string& parent : runFolderParents()) {
        std::string path = joinPath(parent, std::string(kRunFolderPrefix) + name);
        switch (run_folder::whatStandsAt(path)) {
            case run_folder::Found::Nothing:
                break;
            case run_folder::Found::Closed:
                if (!runEnded(path)) return true;
                break;
            case run_folder::Found::Other:
                return true;
        }
    }
    return false;
}

}  // namespace platform
