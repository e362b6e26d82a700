#include "platform/os_error.h"
#include "platform/win32/win32_util.h"

namespace platform {

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
    return {code, text};
}

bool failWithOsError(std::string_view operation, std::string_view path) {
    OsError error = lastOsError();
    logOsError(operation, path, error);
    SetLastError(static_cast<DWORD>(error.code));
    return false;
}

}  // namespace platform
