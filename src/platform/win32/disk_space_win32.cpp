#include "platform/disk_space.h"
#include "platform/paths.h"
#include "platform/win32/win32_util.h"

namespace platform {

std::optional<DiskSpace> diskSpace(const std::string& path) {
    DWORD attributes = win32::attributesAt(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    // The call takes a folder, ending with a separator when it is a network share.
    std::string folder = path;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        size_t cut = lastSeparator(folder);
        folder = cut == std::string::npos ? std::string(".") : folder.substr(0, cut);
    }
    if (folder.empty() || !isSeparatorAt(folder, folder.size() - 1)) folder += '\\';
    ULARGE_INTEGER available, total;
    if (!win32::syscalls().getDiskFreeSpace(folder.c_str(), &available, &total, nullptr))
        return std::nullopt;
    DiskSpace space;
    space.total = total.QuadPart;
    space.available = available.QuadPart;
    return space;
}

}  // namespace platform
