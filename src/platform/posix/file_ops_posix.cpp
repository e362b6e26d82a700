#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/file_ops.h"
#include "platform/os_error.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"

namespace platform {

namespace {

bool failedMove(const std::string& from, const std::string& to, OsError* error) {
    return failWithOsError("move", from + " -> " + to, error);
}

// Removes the entry `name` of `folder` and, for a folder, all it holds; a link goes as the link,
// and nothing is reached through one.
void removeAt(int folder, const char* name) {
    const posix::Syscalls& sys = posix::syscalls();
    struct stat st {};
    if (sys.fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        sys.unlinkat(folder, name, 0);
        return;
    }
    int fd = sys.openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) return;
    DIR* dir = sys.fdopendir(fd);
    if (dir == nullptr) {
        sys.close(fd);
        return;
    }
    while (struct dirent* d = sys.readdir(dir)) {
        std::string_view entry(d->d_name);
        if (entry != "." && entry != "..") removeAt(dirfd(dir), d->d_name);
    }
    sys.closedir(dir);
    sys.unlinkat(folder, name, AT_REMOVEDIR);
}

}  // namespace

bool moveNoReplace(const std::string& from, const std::string& to, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    std::string source = posix::toNative(from);
    std::string target = posix::toNative(to);
    if (sys.renameNoReplace(source.c_str(), target.c_str()) == 0) return true;
    if (errno == EEXIST) return failWithOsError("move", from + " -> " + to, error);
    if (errno != EINVAL && errno != ENOSYS) return failedMove(from, to, error);
    // A file system without the no-replace rename: check first (not atomic, but nothing that was
    // there before the call is replaced unless it appears in between).
    struct stat st {};
    if (sys.lstat(target.c_str(), &st) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return failWithOsError("move", from + " -> " + to, error);
    }
    return sys.rename(source.c_str(), target.c_str()) == 0 || failedMove(from, to, error);
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    posix::Descriptor in(sys.open(posix::toNative(from).c_str(), O_RDONLY | O_CLOEXEC, 0));
    struct stat st {};
    if (in.get() < 0 || sys.fstat(in.get(), &st) != 0) return failWithOsError("open", from, error);
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return failWithOsError("open", from, error);
    }
    std::string target = posix::toNative(to);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    posix::Descriptor out(sys.open(target.c_str(), flags, 0644));
    if (out.get() < 0) return failWithOsError("create", to, error);
    bool ok = posix::copyDescriptor(in.get(), out.get()) ||
              failWithOsError("copy", from + " -> " + to, error);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok &&
         (sys.futimens(out.get(), times) == 0 || failWithOsError("set the time of", to, error));
    ok = out.reset() && ok;
    if (!ok) sys.unlink(target.c_str());
    return ok;
}

bool removeTree(const std::string& path) {
    std::string native = posix::toNative(path);
    removeAt(AT_FDCWD, native.c_str());
    struct stat st {};
    return posix::syscalls().lstat(native.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace platform
