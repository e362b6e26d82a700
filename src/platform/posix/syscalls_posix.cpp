#include "platform/posix/syscalls_posix.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::posix {

Syscalls& syscalls() {
    // Lambdas where the system's declaration is variadic or overloaded.
    static Syscalls table{
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        &::read,
        &::write,
        &::close,
        &::rename,
        [](const char* from, const char* to) {
            return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        },
        &::unlink,
        &::mkdir,
        &::rmdir,
        [](const char* path, struct stat* st) { return ::stat(path, st); },
        [](const char* path, struct stat* st) { return ::lstat(path, st); },
        [](int fd, struct stat* st) { return ::fstat(fd, st); },
        &::fsync,
        [](int folder, const char* name, int flags, mode_t mode) {
            return ::openat(folder, name, flags, mode);
        },
        &::mkdirat,
        &::unlinkat,
        &::renameat,
        [](int fromFolder, const char* from, int toFolder, const char* to) {
            return ::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE);
        },
        [](int folder, const char* name, struct stat* st, int flags) {
            return ::fstatat(folder, name, st, flags);
        },
        &::mkostemp,
        &::mkdtemp,
        &::flock,
        &::fork,
        &::execve,
        &::waitpid,
        &::lseek,
        [](int fd) { return ::fcntl(fd, F_GETFL); },
        [](int fd, int flags) { return ::fcntl(fd, F_SETFL, flags); },
        &::futimens,
        &::utimensat,
        &::fchmod,
        &::chmod,
        &::access,
        &::statvfs,
        &::getcwd,
        &::opendir,
        &::fdopendir,
        &::readdir,
        &::closedir,
    };
    return table;
}

}  // namespace platform::posix
