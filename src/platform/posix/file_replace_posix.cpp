#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/codepage.h"
#include "platform/file_replace.h"
#include "platform/os_error.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"

namespace platform {

namespace {

std::string folderOf(const std::string& nativePath) {
    size_t cut = nativePath.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? std::string("/") : nativePath.substr(0, cut);
}

// Renames and makes the rename itself survive a crash.
bool renameDurably(const std::string& nativeFrom, const std::string& nativeTo, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    if (sys.rename(nativeFrom.c_str(), nativeTo.c_str()) != 0)
        return failWithOsError("rename", utf8ToAnsi(nativeFrom) + " -> " + utf8ToAnsi(nativeTo),
                               error);
    posix::Descriptor folder(
        sys.open(folderOf(nativeTo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (folder.get() >= 0) sys.fsync(folder.get());
    return true;
}

// Gives the open copy its permission bits and pushes its bytes to the disk.
bool settle(int fd, mode_t mode, const std::string& path, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    if (sys.fchmod(fd, mode) != 0) return failWithOsError("chmod", path, error);
    return sys.fsync(fd) == 0 || failWithOsError("flush", path, error);
}

}  // namespace

bool replaceWithCopy(const std::string& source, const std::string& target, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    std::string nativeSource = posix::toNative(source);
    std::string nativeTarget = posix::toNative(target);
    posix::Descriptor in(sys.open(nativeSource.c_str(), O_RDONLY | O_CLOEXEC, 0));
    struct stat sourceStat {};
    if (in.get() < 0) return failWithOsError("open", source, error);
    if (sys.fstat(in.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) return false;
    mode_t mode = sourceStat.st_mode & 07777;
    struct stat targetStat {};
    if (sys.stat(nativeTarget.c_str(), &targetStat) == 0) {
        if (!S_ISREG(targetStat.st_mode)) return false;
        mode = targetStat.st_mode & 07777;
    }

    std::string temporary = nativeTarget + ".XXXXXX";
    posix::Descriptor out(sys.mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0) return failWithOsError("create", target + ".XXXXXX", error);
    bool written = (posix::copyDescriptor(in.get(), out.get()) ||
                    failWithOsError("copy", source + " -> " + utf8ToAnsi(temporary), error)) &&
                   settle(out.get(), mode, utf8ToAnsi(temporary), error);
    written = out.reset() && written;
    if (!written || !renameDurably(temporary, nativeTarget, error)) {
        sys.unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool moveIntoPlace(const std::string& fresh, const std::string& target, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    std::string nativeFresh = posix::toNative(fresh);
    std::string nativeTarget = posix::toNative(target);
    posix::Descriptor file(sys.open(nativeFresh.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    struct stat freshStat {};
    if (file.get() < 0 || sys.fstat(file.get(), &freshStat) != 0 || !S_ISREG(freshStat.st_mode))
        return false;
    mode_t mode = freshStat.st_mode & 07777;
    struct stat targetStat {};
    if (sys.lstat(nativeTarget.c_str(), &targetStat) == 0) {
        if (!S_ISREG(targetStat.st_mode)) return false;
        mode = targetStat.st_mode & 07777;
    }
    return settle(file.get(), mode, fresh, error) && file.reset() &&
           renameDurably(nativeFresh, nativeTarget, error);
}

bool makeExecutable(const std::string& path) {
    std::string native = posix::toNative(path);
    struct stat st {};
    if (posix::syscalls().stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    mode_t mode = st.st_mode & 07777;
    return posix::syscalls().chmod(native.c_str(), mode | ((mode & 0444) >> 2)) == 0 ||
           failWithOsError("chmod", path);
}

}  // namespace platform
