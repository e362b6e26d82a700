#include "support/os_faults.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/codepage.h"
#include "platform/win32/syscalls_win32.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"
#endif

namespace test {
namespace {

#ifdef _WIN32
using Table = platform::win32::Syscalls;
Table& table() {
    return platform::win32::syscalls();
}
#else
using Table = platform::posix::Syscalls;
Table& table() {
    return platform::posix::syscalls();
}
#endif

struct Active {
    OsFault fault = OsFault::PartialWrite;
    std::string locked;  // as the system calls see it
    bool halfWritten = false;
    Table real;
};
std::optional<Active> active;

#ifdef _WIN32

// Windows compares names without regard to letter case.
bool sameName(const char* a, const std::string& b) {
    return a != nullptr && _stricmp(a, b.c_str()) == 0;
}

BOOL fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

BOOL WINAPI writeFile(HANDLE h, LPCVOID data, DWORD n, LPDWORD put, LPOVERLAPPED overlapped) {
    if (active->fault == OsFault::DiskFull) return fail(ERROR_DISK_FULL);
    if (active->fault != OsFault::PartialWrite)
        return active->real.writeFile(h, data, n, put, overlapped);
    if (active->halfWritten) return fail(ERROR_WRITE_FAULT);
    active->halfWritten = true;
    return active->real.writeFile(h, data, std::max<DWORD>(1, n / 2), put, overlapped);
}

// A copy that the fault cuts off half way leaves what it wrote, as the system's does.
BOOL WINAPI copyFile(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (active->fault == OsFault::RenameRefused)
        return active->real.copyFile(from, to, failIfExists);
    if (sameName(to, active->locked)) return fail(ERROR_SHARING_VIOLATION);
    if (active->fault == OsFault::Locked) return active->real.copyFile(from, to, failIfExists);
    if (!active->real.copyFile(from, to, failIfExists)) return FALSE;
    HANDLE h = active->real.createFile(to, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    size.QuadPart /= 2;
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    return fail(codeOf(active->fault));
}

HANDLE WINAPI createFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (sameName(path, active->locked)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    return active->real.createFile(path, access, share, security, disposition, flags, templateFile);
}

// A wide path as the program names it in ANSI, without the "\\?\" prefix.
std::string ansiOf(LPCWSTR path) {
    std::wstring_view text(path == nullptr ? L"" : path);
    if (text.rfind(L"\\\\?\\", 0) == 0) text.remove_prefix(4);
    return platform::utf16ToAnsi(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

BOOL refusedMove(LPCSTR from, LPCSTR to) {
    if (active->fault == OsFault::RenameRefused) return fail(ERROR_ACCESS_DENIED);
    if (sameName(from, active->locked) || sameName(to, active->locked))
        return fail(ERROR_SHARING_VIOLATION);
    return TRUE;
}

void install(Table& t) {
    t.writeFile = writeFile;
    t.copyFile = copyFile;
    t.createFile = createFile;
    t.moveFile = [](LPCSTR from, LPCSTR to) -> BOOL {
        return refusedMove(from, to) && active->real.moveFile(from, to);
    };
    t.moveFileEx = [](LPCSTR from, LPCSTR to, DWORD how) -> BOOL {
        return refusedMove(from, to) && active->real.moveFileEx(from, to, how);
    };
    // The rename over an open target: the holder shares no deletion, and a refusal stands.
    t.setFileInformation = [](HANDLE h, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info,
                              DWORD size) -> BOOL {
        if (active->fault == OsFault::RenameRefused || active->fault == OsFault::Locked)
            return fail(codeOf(active->fault));
        return active->real.setFileInformation(h, kind, info, size);
    };
    // The same by wide names, as the navigator's drive is reached.
    t.createFileW = [](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) -> HANDLE {
        if (sameName(ansiOf(path).c_str(), active->locked)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        return active->real.createFileW(path, access, share, security, disposition, flags,
                                        templateFile);
    };
    t.moveFileExW = [](LPCWSTR from, LPCWSTR to, DWORD how) -> BOOL {
        return refusedMove(ansiOf(from).c_str(), ansiOf(to).c_str()) &&
               active->real.moveFileExW(from, to, how);
    };
    t.deleteFileW = [](LPCWSTR path) -> BOOL {
        return sameName(ansiOf(path).c_str(), active->locked) ? fail(ERROR_SHARING_VIOLATION)
                                                              : active->real.deleteFileW(path);
    };
    t.deleteFile = [](LPCSTR path) -> BOOL {
        return sameName(path, active->locked) ? fail(ERROR_SHARING_VIOLATION)
                                              : active->real.deleteFile(path);
    };
    // The system's profile writer is one call: the fault refuses it whole.
    t.writeProfileString = [](LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) -> BOOL {
        if (active->fault == OsFault::Locked && !sameName(file, active->locked))
            return active->real.writeProfileString(section, key, value, file);
        return fail(active->fault == OsFault::PartialWrite ? ERROR_WRITE_FAULT
                                                           : codeOf(active->fault));
    };
}

std::string systemName(const std::string& path) {
    return path;
}

#else

int fail(int code) {
    errno = code;
    return -1;
}

bool isLocked(const char* path) {
    return active->fault == OsFault::Locked && path != nullptr && active->locked == path;
}

// The path a name relative to an open folder names.
std::string pathAt(int folder, const char* name) {
    char target[4096] = {};
    std::string link = "/proc/self/fd/" + std::to_string(folder);
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) + "/" + name : std::string(name);
}

bool isLockedAt(int folder, const char* name) {
    return active->fault == OsFault::Locked && isLocked(pathAt(folder, name).c_str());
}

int refusedRenameAt(int fromFolder, const char* from, int toFolder, const char* to) {
    if (active->fault == OsFault::RenameRefused) return fail(EACCES);
    if (isLockedAt(fromFolder, from) || isLockedAt(toFolder, to)) return fail(EBUSY);
    return 0;
}

ssize_t write(int fd, const void* data, size_t n) {
    if (active->fault == OsFault::DiskFull) return fail(ENOSPC);
    if (active->fault != OsFault::PartialWrite) return active->real.write(fd, data, n);
    if (active->halfWritten) return fail(EIO);
    active->halfWritten = true;
    return active->real.write(fd, data, std::max<size_t>(1, n / 2));
}

int refusedRename(const char* from, const char* to) {
    if (active->fault == OsFault::RenameRefused) return fail(EACCES);
    if (isLocked(from) || isLocked(to)) return fail(EBUSY);
    return 0;
}

void install(Table& t) {
    t.write = write;
    t.rename = [](const char* from, const char* to) {
        int refused = refusedRename(from, to);
        return refused != 0 ? refused : active->real.rename(from, to);
    };
    t.renameNoReplace = [](const char* from, const char* to) {
        int refused = refusedRename(from, to);
        return refused != 0 ? refused : active->real.renameNoReplace(from, to);
    };
    // The nearest POSIX has to a file another program holds: a running program's file.
    t.open = [](const char* path, int flags, mode_t mode) {
        if (isLocked(path) && (flags & O_ACCMODE) != O_RDONLY) return fail(ETXTBSY);
        return active->real.open(path, flags, mode);
    };
    t.unlink = [](const char* path) {
        return isLocked(path) ? fail(EBUSY) : active->real.unlink(path);
    };
    // The same, relative to an open folder, as the navigator's drive is reached.
    t.openat = [](int folder, const char* name, int flags, mode_t mode) {
        if (isLockedAt(folder, name) && (flags & O_ACCMODE) != O_RDONLY) return fail(ETXTBSY);
        return active->real.openat(folder, name, flags, mode);
    };
    t.renameat = [](int fromFolder, const char* from, int toFolder, const char* to) {
        int refused = refusedRenameAt(fromFolder, from, toFolder, to);
        return refused != 0 ? refused : active->real.renameat(fromFolder, from, toFolder, to);
    };
    t.renameatNoReplace = [](int fromFolder, const char* from, int toFolder, const char* to) {
        int refused = refusedRenameAt(fromFolder, from, toFolder, to);
        return refused != 0 ? refused
                            : active->real.renameatNoReplace(fromFolder, from, toFolder, to);
    };
    t.unlinkat = [](int folder, const char* name, int flags) {
        return isLockedAt(folder, name) ? fail(EBUSY) : active->real.unlinkat(folder, name, flags);
    };
}

std::string systemName(const std::string& path) {
    return platform::posix::toNative(path);
}

#endif

}  // namespace

const char* nameOf(OsFault fault) {
    switch (fault) {
        case OsFault::PartialWrite:
            return "PartialWrite";
        case OsFault::DiskFull:
            return "DiskFull";
        case OsFault::RenameRefused:
            return "RenameRefused";
        case OsFault::Locked:
            return "Locked";
    }
    return "";
}

unsigned long codeOf(OsFault fault) {
#ifdef _WIN32
    constexpr unsigned long codes[] = {ERROR_WRITE_FAULT, ERROR_DISK_FULL, ERROR_ACCESS_DENIED,
                                       ERROR_SHARING_VIOLATION};
#else
    constexpr unsigned long codes[] = {EIO, ENOSPC, EACCES, EBUSY};
#endif
    return codes[static_cast<int>(fault)];
}

ScopedOsFault::ScopedOsFault(OsFault fault, const std::string& locked) {
    active.emplace();
    active->fault = fault;
    active->locked = locked.empty() ? std::string() : systemName(locked);
    active->real = table();
    install(table());
}

ScopedOsFault::~ScopedOsFault() {
    table() = active->real;
    active.reset();
}

}  // namespace test
