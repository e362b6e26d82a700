#include <vector>

#include "platform/full_path.h"
#include "platform/paths.h"
#include "platform/win32/win32_util.h"

namespace platform {

bool isAbsolutePath(std::string_view path) {
    // "C:\x" or "\\server\share"; "C:x" and "\x" still lean on the current folder of a drive.
    bool drive = path.size() >= 3 &&
                 ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                 path[1] == ':' && isPathSeparator(path[2]);
    bool share = path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1]);
    return drive || share;
}

std::optional<std::string> fullPath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length = win32::syscalls().getFullPathName(
            path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return std::string(buffer.data(), length);
        // Too small: the length asked for counts the terminator.
        buffer.resize(length);
    }
}

}  // namespace platform
