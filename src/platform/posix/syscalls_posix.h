#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstddef>

// Every file and process call of the POSIX side goes through this one table, so that a test can
// put a failing call in one entry's place and see the real code path meet it.
namespace platform::posix {

struct Syscalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, size_t n);
    ssize_t (*write)(int fd, const void* data, size_t n);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    // rename that fails on an existing target (renameat2's RENAME_NOREPLACE).
    int (*renameNoReplace)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*mkdir)(const char* path, mode_t mode);
    int (*rmdir)(const char* path);
    int (*stat)(const char* path, struct stat* st);
    int (*lstat)(const char* path, struct stat* st);
    int (*fstat)(int fd, struct stat* st);
    int (*fsync)(int fd);
    // The same relative to an open folder, for the navigator's drive, where no link is followed.
    int (*openat)(int folder, const char* name, int flags, mode_t mode);
    int (*mkdirat)(int folder, const char* name, mode_t mode);
    int (*unlinkat)(int folder, const char* name, int flags);
    int (*renameat)(int fromFolder, const char* from, int toFolder, const char* to);
    // renameat that fails on an existing target.
    int (*renameatNoReplace)(int fromFolder, const char* from, int toFolder, const char* to);
    int (*fstatat)(int folder, const char* name, struct stat* st, int flags);
    int (*mkostemp)(char* pattern, int flags);
    char* (*mkdtemp)(char* pattern);
    int (*flock)(int fd, int operation);
    pid_t (*fork)();
    int (*execve)(const char* path, char* const argv[], char* const envp[]);
    pid_t (*waitpid)(pid_t pid, int* status, int options);
    off_t (*lseek)(int fd, off_t offset, int whence);
    // fcntl's F_GETFL and F_SETFL.
    int (*getFlags)(int fd);
    int (*setFlags)(int fd, int flags);
    int (*futimens)(int fd, const struct timespec times[2]);
    int (*utimensat)(int folder, const char* path, const struct timespec times[2], int flags);
    int (*fchmod)(int fd, mode_t mode);
    int (*chmod)(const char* path, mode_t mode);
    int (*access)(const char* path, int mode);
    int (*statvfs)(const char* path, struct statvfs* st);
    char* (*getcwd)(char* buffer, size_t size);
    DIR* (*opendir)(const char* path);
    DIR* (*fdopendir)(int fd);
    struct dirent* (*readdir)(DIR* dir);
    int (*closedir)(DIR* dir);
};

// The table the seam calls through; the real system calls unless a test replaced an entry.
Syscalls& syscalls();

}  // namespace platform::posix
