#include <sys/statvfs.h>

#include "platform/disk_space.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"

namespace platform {

std::optional<DiskSpace> diskSpace(const std::string& path) {
    struct statvfs st {};
    if (posix::syscalls().statvfs(posix::toNative(path).c_str(), &st) != 0) return std::nullopt;
    DiskSpace space;
    space.total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    space.available = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    return space;
}

}  // namespace platform
