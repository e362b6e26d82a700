#include <mutex>

#include "platform/drives.h"
#include "platform/win32/win32_util.h"

namespace platform {

namespace {

std::mutex& overrideMutex() {
    static std::mutex m;
    return m;
}

std::optional<std::vector<std::string>>& overrideRoots() {
    static std::optional<std::vector<std::string>> roots;
    return roots;
}

}  // namespace

std::vector<std::string> removableDrives() {
    {
        std::lock_guard<std::mutex> lock(overrideMutex());
        if (overrideRoots()) return *overrideRoots();
    }
    // Floppy drives (A:, B:), the system drive (C:) and Z: are never searched.
    std::vector<std::string> roots;
    DWORD present = GetLogicalDrives();
    for (char letter = 'D'; letter <= 'Y'; ++letter) {
        if (!(present & (DWORD{1} << (letter - 'A')))) continue;
        // The type comes from the drive itself, without touching its medium, so an empty card
        // reader raises no "insert a disk" box here.
        const char root[] = {letter, ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_REMOVABLE) roots.push_back(std::string{letter, ':'});
    }
    return roots;
}

void setRemovableDrivesForTesting(std::optional<std::vector<std::string>> roots) {
    std::lock_guard<std::mutex> lock(overrideMutex());
    overrideRoots() = std::move(roots);
}

}  // namespace platform
