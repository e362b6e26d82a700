#pragma once

#include <optional>
#include <string>
#include <vector>

// The PC's removable drives, where a navigator attached as a drive shows up.
namespace platform {

// Roots of the removable drives, in a stable order: "D:" to "Y:" on Windows (never A:, B:, C:
// or Z:); on Linux the mount points of removable or USB storage and of mounts under /media and
// /run/media, never the root file system or the system's own mounts.
std::vector<std::string> removableDrives();

// The system's own list, as removableDrives() gives it when no test has replaced it (each side
// of the seam implements it).
std::vector<std::string> systemRemovableDrives();
// Replaces the drive list (tests present temporary folders as drives); nothing restores the
// system's list.
void setRemovableDrivesForTesting(std::optional<std::vector<std::string>> roots);

}  // namespace platform
