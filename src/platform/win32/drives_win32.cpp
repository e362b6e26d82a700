#include "platform/drives.h"
#include "platform/win32/win32_util.h"

namespace platform {

namespace {}  // namespace

std::vector<std::string> systemRemovableDrives() {
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

}  // namespace platform
