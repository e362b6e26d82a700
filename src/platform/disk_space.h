#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct DiskSpace {
    uint64_t total = 0;
    uint64_t available = 0;  // what the calling user may still write
};

// Size and free space of the volume that holds `path` (a folder or file, ANSI); nothing when it
// cannot be asked.
std::optional<DiskSpace> diskSpace(const std::string& path);

}  // namespace platform
