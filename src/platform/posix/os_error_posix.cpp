#include <cerrno>
#include <cstring>

#include "platform/codepage.h"
#include "platform/os_error.h"

namespace platform {

OsError lastOsError() {
    int code = errno;
    char buffer[256] = {};
    // The GNU strerror_r may hand back a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    OsError error{static_cast<unsigned long>(code), utf8ToAnsi(text)};
    errno = code;
    return error;
}

bool failWithOsError(std::string_view operation, std::string_view path) {
    OsError error = lastOsError();
    logOsError(operation, path, error);
    errno = static_cast<int>(error.code);
    return false;
}

}  // namespace platform
