#include <cerrno>
#include <cstring>

#include "platform/codepage.h"
#include "platform/os_error.h"

namespace platform {

OsCause causeOf(unsigned long code) {
    switch (static_cast<int>(code)) {
        case 0:
            return OsCause::None;
        case ENOENT:
        case ENOTDIR:
            return OsCause::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return OsCause::AccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return OsCause::DiskFull;
        case EEXIST:
        case ENOTEMPTY:
            return OsCause::Exists;
        case EBUSY:
        case ETXTBSY:
        case EWOULDBLOCK:
            return OsCause::InUse;
        default:
            return OsCause::Other;
    }
}

OsError lastOsError() {
    int code = errno;
    char buffer[256] = {};
    // The GNU strerror_r may hand back a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    OsError error{static_cast<unsigned long>(code), utf8ToAnsi(text), causeOf(code), {}, {}, {}};
    // A call that failed without saying why still failed.
    if (code == 0) error.cause = OsCause::Other;
    errno = code;
    return error;
}

bool failWithOsError(std::string_view operation, std::string_view path, OsError* error) {
    if (!error) return false;
    *error = lastOsError();
    error->operation = operation;
    error->path = path;
    return false;
}

}  // namespace platform
