#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform::posix {

// The removable drives among the mounts of a /proc/self/mountinfo text: mount points under
// /media or /run/media, and those whose block device (major:minor) `isRemovableDevice` accepts;
// never "/" or the system's own mounts. Sorted, ANSI.
std::vector<std::string> removableMountPoints(
    const std::string& mountinfo,
    const std::function<bool(const std::string& majorMinor)>& isRemovableDevice);

}  // namespace platform::posix
