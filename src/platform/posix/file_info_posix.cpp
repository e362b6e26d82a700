#include <fcntl.h>
#include <sys/stat.h>

#include "platform/file_info.h"
#include "platform/os_error.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"

namespace platform {

std::optional<FileInfo> fileInfo(const std::string& path, OsError* error) {
    std::string native = posix::toNative(path);
    struct stat st {};
    if (posix::syscalls().stat(native.c_str(), &st) != 0) {
        failWithOsError("look at", path, error);
        return std::nullopt;
    }
    size_t cut = native.find_last_of('/');
    const char* name = native.c_str() + (cut == std::string::npos ? 0 : cut + 1);
    FileInfo info;
    info.attributes = posix::attributesOf(native, st, name);
    info.lastWriteTime = posix::fileTimeFromTimespec(st.st_mtim);
    info.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    return info;
}

bool setFileWriteTime(const std::string& path, FileTime time) {
    struct timespec times[2] = {{0, UTIME_OMIT}, posix::timespecFromFileTime(time)};
    return posix::syscalls().utimensat(AT_FDCWD, posix::toNative(path).c_str(), times, 0) == 0;
}

}  // namespace platform
