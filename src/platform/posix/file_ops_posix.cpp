#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file_ops.h"
#include "platform/posix/posix_util.h"

namespace platform {

bool moveNoReplace(const std::string& from, const std::string& to) {
    std::string source = posix::toNative(from);
    std::string target = posix::toNative(to);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: check first (not atomic, but nothing that was
    // there before the call is replaced unless it appears in between).
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 || errno != ENOENT) return false;
    return ::rename(source.c_str(), target.c_str()) == 0;
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
    posix::Descriptor in(::open(posix::toNative(from).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.get() < 0 || fstat(in.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    std::string target = posix::toNative(to);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    posix::Descriptor out(::open(target.c_str(), flags, 0644));
    if (out.get() < 0) return false;
    bool ok = posix::copyDescriptor(in.get(), out.get());
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && futimens(out.get(), times) == 0;
    ok = out.reset() && ok;
    if (!ok) ::unlink(target.c_str());
    return ok;
}

bool removeTree(const std::string& path) {
    std::string native = posix::toNative(path);
    std::error_code ec;
    std::filesystem::remove_all(native, ec);
    struct stat st {};
    return lstat(native.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace platform
