#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/win32/syscalls_win32.h"

// Helpers shared by the Win32 side of the seam. Paths stay ANSI text and go to the "A" functions
// as they are: the system converts them with the process code page, as the program's text is.
namespace platform::win32 {

// A kernel handle, closed when the object goes.
class Handle {
  public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    // Closes now; false when the close failed (written data may not have reached the disk).
    bool reset() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || h == nullptr || syscalls().closeHandle(h) != 0;
    }

  private:
    HANDLE h_;
};

inline FileTime fromFiletime(const FILETIME& ft) {
    return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// A file's size from the two halves the system reports; a folder has none.
inline uint64_t sizeOf(DWORD attributes, DWORD high, DWORD low) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return (static_cast<uint64_t>(high) << 32) | low;
}

inline FILETIME toFiletime(FileTime time) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return ft;
}

// INVALID_FILE_ATTRIBUTES when nothing can be found at the path.
inline DWORD attributesAt(const std::string& path) {
    return syscalls().getFileAttributes(path.c_str());
}

// Whether the last failure said that the name, or a folder on its way, does not exist.
inline bool lastErrorIsMissing() {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The path without separators at its end, unless that would leave a drive root ("C:\") or a
// lone separator; the shell and the directory functions want folders named that way.
std::string withoutTrailingSeparator(const std::string& path);

// Letters and digits from the system's random source, for names nobody can guess.
std::string randomName(size_t length);

}  // namespace platform::win32
