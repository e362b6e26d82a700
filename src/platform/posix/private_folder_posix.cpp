#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/codepage.h"
#include "platform/os_error.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"
#include "platform/private_folder.h"

// A run holds an exclusive lock on its folder for as long as it lives; the system lets go of it
// however the run ends, kill -9 included.
namespace platform::run_folder {

namespace {

// A folder that is the user's own and that nobody else can enter or change.
bool isOwnClosedFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

int openFolder(const std::string& native) {
    return posix::syscalls().open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC,
                                  0);
}

// The folder itself, never one a link leads to.
bool isOwnClosedFolderAt(const std::string& native) {
    posix::Descriptor folder(openFolder(native));
    struct stat st {};
    return folder.get() >= 0 && posix::syscalls().fstat(folder.get(), &st) == 0 &&
           isOwnClosedFolder(st);
}

int held = -1;

}  // namespace

std::string makeClosed(const std::string& base, OsError* error) {
    std::string native = posix::toNative(base) + "XXXXXX";
    // mkdtemp makes the folder with mode 0700 under a fresh random name and fails rather than
    // take a name that exists.
    if (posix::syscalls().mkdtemp(native.data()) == nullptr) {
        failWithOsError("create folder", base + "XXXXXX", error);
        return {};
    }
    if (!isOwnClosedFolderAt(native)) return {};
    return utf8ToAnsi(native) + '/';
}

Found whatStandsAt(const std::string& path) {
    struct stat st {};
    if (posix::syscalls().lstat(posix::toNative(path).c_str(), &st) != 0) return Found::Nothing;
    return isOwnClosedFolder(st) ? Found::Closed : Found::Other;
}

std::string runtimeFolder() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value == nullptr || value[0] != '/' || !isOwnClosedFolderAt(value)) return {};
    std::string folder = utf8ToAnsi(value);
    return folder.back() == '/' ? folder : folder + '/';
}

void hold(const std::string& folder) {
    release();
    std::string native = posix::toNative(folder);
    held = openFolder(native);
    // Blocking: another run's probe holds the lock for a moment at most.
    if (held < 0 || posix::syscalls().flock(held, LOCK_EX) != 0) failWithOsError("lock", folder);
}

void release() {
    if (held >= 0) posix::syscalls().close(held);
    held = -1;
}

bool isHeld(const std::string& folder) {
    posix::Descriptor probe(openFolder(posix::toNative(folder)));
    return probe.get() < 0 || posix::syscalls().flock(probe.get(), LOCK_EX | LOCK_NB) != 0;
}

unsigned long processId() {
    return static_cast<unsigned long>(getpid());
}

}  // namespace platform::run_folder
