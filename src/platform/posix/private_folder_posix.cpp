#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

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

struct RunFolder {
    std::mutex mutex;
    std::string path;  // ANSI, with the final separator; empty until made
    // The process that made it: a forked child makes its own and never removes its parent's.
    pid_t owner = 0;
    pid_t registered = 0;
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

bool stillOurs(const std::string& ansiPath) {
    struct stat st {};
    return lstat(posix::toNative(ansiPath).c_str(), &st) == 0 && isOwnClosedFolder(st);
}

}  // namespace

std::string createPrivateFolder(const std::string& parent) {
    if (parent.empty()) return {};
    std::string native = posix::toNative(parent);
    if (native.back() != '/') native += '/';
    native += "vantu-XXXXXX";
    // mkdtemp makes the folder with mode 0700 under a fresh random name and fails rather than
    // take a name that exists.
    if (mkdtemp(native.data()) == nullptr) return {};
    posix::Descriptor folder(
        ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
    folder.owner = self;
    if (folder.registered != self) {
        folder.registered = self;
        std::atexit(removeRunFolder);
    }
    return folder.path;
}

}  // namespace platform
