#include "platform/win32/win32_util.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include <vector>

#include "platform/file_ops.h"
#include "platform/os_error.h"

namespace platform {

namespace {

bool failed(std::string_view operation, const std::string& from, const std::string& to,
            OsError* error) {
    return failWithOsError(operation, from + " -> " + to, error);
}

}  // namespace

bool moveNoReplace(const std::string& from, const std::string& to, OsError* error) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails on any target, file or folder.
    return win32::syscalls().moveFile(from.c_str(), to.c_str()) || failed("move", from, to, error);
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists, OsError* error) {
    // CopyFile carries the last-write time and the attributes along with the bytes.
    return win32::syscalls().copyFile(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) ||
           failed("copy", from, to, error);
}

bool removeTree(const std::string& path) {
    // The shell takes '*' and '?' as wildcards, which could remove far more than the one name;
    // no file or folder on Windows has them in its name.
    if (path.find_first_of("*?") != std::string::npos) return false;
    if (win32::attributesAt(path) == INVALID_FILE_ATTRIBUTES) return win32::lastErrorIsMissing();
    // The shell wants full paths without a final separator, in a list ended by an empty one.
    const win32::Syscalls& sys = win32::syscalls();
    std::vector<char> full(MAX_PATH);
    DWORD length =
        sys.getFullPathName(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length + 1);
        length = sys.getFullPathName(path.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                     nullptr);
    }
    if (length == 0 || length >= full.size()) return false;
    std::string target = win32::withoutTrailingSeparator(std::string(full.data(), length));
    // A whole drive is never what a caller means.
    if (target.size() <= 3) return false;
    std::string list = target;
    list.append(2, '\0');

    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    // Permanently (no recycle bin), without any question, progress or error window, and taking
    // a link inside the tree away as the link, never what it points to.
    op.fFlags = FOF_NO_UI | FOF_NORECURSEREPARSE;
    sys.shFileOperation(&op);
    return win32::attributesAt(target) == INVALID_FILE_ATTRIBUTES && win32::lastErrorIsMissing();
}

}  // namespace platform
