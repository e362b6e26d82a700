#include "platform/os_error.h"
#include "platform/win32/win32_util.h"

namespace platform {

OsCause causeOf(unsigned long code) {
    switch (code) {
        case ERROR_SUCCESS:
            return OsCause::None;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return OsCause::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return OsCause::AccessDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return OsCause::DiskFull;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_DIR_NOT_EMPTY:
            return OsCause::Exists;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return OsCause::InUse;
        default:
            return OsCause::Other;
    }
}

OsError lastOsError() {
    DWORD code = GetLastError();
    char buffer[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    // The system's texts end with a line break, and sometimes a full stop before it.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = "unknown error";
    SetLastError(code);
    // A call that failed without saying why still failed.
    OsCause cause = code == ERROR_SUCCESS ? OsCause::Other : causeOf(code);
    return {code, text, cause, {}, {}, {}};
}

bool failWithOsError(std::string_view operation, std::string_view path, OsError* error) {
    if (!error) return false;
    *error = lastOsError();
    error->operation = operation;
    error->path = path;
    return false;
}

}  // namespace platform
