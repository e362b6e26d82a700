#include "platform/file_info.h"
#include "platform/os_error.h"
#include "platform/win32/win32_util.h"

namespace platform {

std::optional<FileInfo> fileInfo(const std::string& path, OsError* error) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!win32::syscalls().getFileAttributesEx(path.c_str(), GetFileExInfoStandard, &data)) {
        failWithOsError("look at", path, error);
        return std::nullopt;
    }
    FileInfo info;
    info.attributes = data.dwFileAttributes;
    info.lastWriteTime = win32::fromFiletime(data.ftLastWriteTime);
    info.size = win32::sizeOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
    return info;
}

bool setFileWriteTime(const std::string& path, FileTime time) {
    // Only the attributes are written, so a read-only file takes its times as well; backup
    // semantics let a folder take them too.
    const win32::Syscalls& sys = win32::syscalls();
    win32::Handle file(sys.createFile(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return false;
    FILETIME ft = win32::toFiletime(time);
    return sys.setFileTime(file.get(), &ft, nullptr, &ft) != 0;
}

}  // namespace platform
