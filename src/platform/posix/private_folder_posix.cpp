#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/posix/posix_util.h"

namespace platform {

namespace {

// A folder that is the user's own and that nobody else can enter or change.
bool isOwnClosedFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// The per-user runtime folder, when the system names one that is really the user's own (not a
// link, not open to others); empty otherwise.
std::string runtimeFolder() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value == nullptr || value[0] != '/') return {};
    posix::Descriptor folder(::open(value, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (folder.get() < 0 || fstat(folder.get(), &st) != 0 || !isOwnClosedFolder(st)) return {};
    return utf8ToAnsi(value);
}

// A run holds an exclusive lock on its folder for as long as it lives; the system lets go of it
// however the run ends, kill -9 included. A folder that nobody holds is left alone while it is
// this new: its run may be between making it and taking the lock.
constexpr time_t kUnheldGraceSeconds = 2;
// mkdtemp's template for a run folder's random part.
constexpr std::string_view kRandomPart = "XXXXXX";

struct RunFolder {
    std::mutex mutex;
    std::string path;  // ANSI, with the final separator; empty until made
    // The process that made it: a forked child makes its own and never removes its parent's.
    pid_t owner = 0;
    pid_t registered = 0;
    int held = -1;  // the folder, open and locked for as long as the run lives
};

RunFolder& runFolder() {
    static RunFolder folder;
    return folder;
}

void removeRunFolder() {
    RunFolder& folder = runFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    if (!folder.path.empty() && folder.owner == getpid())
        removeTree(folder.path.substr(0, folder.path.size() - 1));
    folder.path.clear();
}

int openFolder(const std::string& nativeFolder) {
    return ::open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Whether the run that made this folder (one of ours, closed to others) has ended. The age comes
// first: a probe holds the lock for a moment, and a new run waits for it then.
bool runEnded(const std::string& nativeFolder, const struct stat& st) {
    if (st.st_mtime + kUnheldGraceSeconds >= time(nullptr)) return false;
    posix::Descriptor folder(openFolder(nativeFolder));
    return folder.get() >= 0 && flock(folder.get(), LOCK_EX | LOCK_NB) == 0;
}

// Removes the run folders that earlier runs of the user left in `nativeParent` when they were
// killed: only folders of this program's name pattern that are the user's own and closed to
// others, and only when their run has ended.
void removeEndedRuns(const std::string& nativeParent, const std::string& ownNative) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(nativeParent.c_str()), closedir);
    if (!dir) return;
    const std::string pattern = std::string(kRunFolderPrefix) + std::string(kRandomPart);
    std::vector<std::string> ended;
    while (struct dirent* d = readdir(dir.get())) {
        if (std::strncmp(d->d_name, pattern.c_str(), kRunFolderPrefix.size()) != 0 ||
            std::strlen(d->d_name) != pattern.size())
            continue;
        std::string path = nativeParent + d->d_name;
        struct stat st {};
        if (path + "/" == ownNative || lstat(path.c_str(), &st) != 0 || !isOwnClosedFolder(st))
            continue;
        if (runEnded(path, st)) ended.push_back(path);
    }
    for (const std::string& path : ended)
        removeTree(utf8ToAnsi(path));
}

bool stillOurs(const std::string& ansiPath) {
    struct stat st {};
    return lstat(posix::toNative(ansiPath).c_str(), &st) == 0 && isOwnClosedFolder(st);
}

}  // namespace

std::string createPrivateFolder(const std::string& parent) {
    if (parent.empty()) return {};
    std::string native = posix::toNative(parent);
    if (native.back() != '/') native += '/';
    native += std::string(kRunFolderPrefix) + std::string(kRandomPart);
    // mkdtemp makes the folder with mode 0700 under a fresh random name and fails rather than
    // take a name that exists.
    if (mkdtemp(native.data()) == nullptr) return {};
    posix::Descriptor folder(openFolder(native));
    struct stat st {};
    if (folder.get() < 0 || fstat(folder.get(), &st) != 0 || !isOwnClosedFolder(st)) return {};
    return utf8ToAnsi(native) + '/';
}

std::string privateFolder() {
    RunFolder& folder = runFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    pid_t self = getpid();
    if (!folder.path.empty() && folder.owner == self && stillOurs(folder.path)) return folder.path;
    folder.path.clear();
    std::string runtime = runtimeFolder();
    if (!runtime.empty()) folder.path = createPrivateFolder(runtime);
    if (folder.path.empty()) folder.path = createPrivateFolder(tempFolder());
    if (folder.path.empty()) return {};
    std::string native = posix::toNative(folder.path);
    // Blocking: another run's probe holds the lock for a moment at most.
    if (folder.held >= 0) ::close(folder.held);
    folder.held = openFolder(native);
    if (folder.held >= 0) flock(folder.held, LOCK_EX);
    removeEndedRuns(native.substr(0, native.find_last_of('/', native.size() - 2) + 1), native);
    folder.owner = self;
    if (folder.registered != self) {
        folder.registered = self;
        std::atexit(removeRunFolder);
    }
    return folder.path;
}

bool runMayBeLive(const std::string& name) {
    if (name == runName()) return true;
    // Only what a run folder's random part can be: nothing that leads elsewhere.
    if (name.size() != kRandomPart.size() ||
        name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") !=
            std::string::npos)
        return false;
    for (const std::string& parent : {runtimeFolder(), tempFolder()}) {
        if (parent.empty()) continue;
        std::string native =
            posix::toNative(joinPath(parent, std::string(kRunFolderPrefix) + name));
        struct stat st {};
        if (lstat(native.c_str(), &st) == 0 && (!isOwnClosedFolder(st) || !runEnded(native, st)))
            return true;
    }
    return false;
}

}  // namespace platform
