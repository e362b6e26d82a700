#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_replace.h"
#include "platform/full_path.h"
#include "platform/os_error.h"
#include "platform/win32/win32_util.h"

namespace platform {

namespace {

constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY;
// FileRenameInfoEx (Windows 10 1709 and later), which the toolchain's headers leave out.
constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// Pushes the copy's bytes to the disk before it takes the target's name, so that a crash right
// after the rename finds the whole new file rather than an empty one.
bool flushToDisk(const std::string& path, OsError* error) {
    const win32::Syscalls& sys = win32::syscalls();
    win32::Handle file(sys.createFile(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return (file.valid() && sys.flushFileBuffers(file.get()) && file.reset()) ||
           failWithOsError("flush", path, error);
}

// Renames over a target that others hold open (a reader, a virus scanner), which a plain
// MoveFileEx refuses. Newer systems do it on NTFS with POSIX semantics; elsewhere this fails too
// and the target stays as it was.
bool renameOverOpenTarget(const std::string& from, const std::string& to) {
    std::optional<std::string> full = fullPath(to);
    if (!full) return false;
    std::u16string name = ansiToUtf16(*full);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(char16_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(char16_t));
    std::memcpy(info->FileName, name.data(), name.size() * sizeof(char16_t));
    const win32::Syscalls& sys = win32::syscalls();
    win32::Handle file(sys.createFile(from.c_str(), DELETE | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() &&
           sys.setFileInformation(file.get(), kRenameInfoEx, info,
                                  static_cast<DWORD>(buffer.size())) &&
           file.reset();
}

void removeCopy(const std::string& path) {
    win32::syscalls().setFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    win32::syscalls().deleteFile(path.c_str());
}

}  // namespace

bool replaceWithCopy(const std::string& source, const std::string& target, OsError* error) {
    DWORD sourceAttributes = win32::attributesAt(source);
    if (sourceAttributes == INVALID_FILE_ATTRIBUTES ||
        (sourceAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    DWORD targetAttributes = win32::attributesAt(target);
    bool targetExists = targetAttributes != INVALID_FILE_ATTRIBUTES;
    if (targetExists && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;

    // The copy is made under a fresh name beside the target, so that the rename stays on one
    // volume; CopyFile with failIfExists never takes a name someone else holds.
    std::string copy;
    for (int attempt = 0; attempt < 16 && copy.empty(); ++attempt) {
        std::string candidate = target + "." + win32::randomName(8) + ".tmp";
        if (win32::syscalls().copyFile(source.c_str(), candidate.c_str(), TRUE)) {
            copy = candidate;
        } else if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            OsError failure;
            failWithOsError("copy", source + " -> " + candidate, &failure);
            // A copy cut short by a full disk may be left half-written.
            if (win32::attributesAt(candidate) != INVALID_FILE_ATTRIBUTES) removeCopy(candidate);
            if (error) *error = failure;
            return false;
        }
    }
    if (copy.empty()) return false;
    // A new target keeps the source's attributes (read-only, hidden, system), which CopyFile
    // gave the copy; an existing one keeps its own.
    win32::syscalls().setFileAttributes(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!moveIntoPlace(copy, target, error)) {
        removeCopy(copy);
        return false;
    }
    if (!targetExists) win32::syscalls().setFileAttributes(target.c_str(), sourceAttributes);
    return true;
}

bool moveIntoPlace(const std::string& fresh, const std::string& target, OsError* error) {
    DWORD freshAttributes = win32::attributesAt(fresh);
    if (freshAttributes == INVALID_FILE_ATTRIBUTES || (freshAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    DWORD targetAttributes = win32::attributesAt(target);
    bool targetExists = targetAttributes != INVALID_FILE_ATTRIBUTES;
    if (targetExists && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (!flushToDisk(fresh, error)) return false;
    // A read-only target refuses to be replaced; it gets its flag back if the rename fails.
    if (targetExists && (targetAttributes & kReadOnly))
        win32::syscalls().setFileAttributes(target.c_str(), targetAttributes & ~kReadOnly);
    // A running program's file cannot be replaced on Windows: the renames fail and the old file
    // stays.
    bool moved = win32::syscalls().moveFileEx(fresh.c_str(), target.c_str(),
                                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    OsError failure;
    if (!moved) failWithOsError("rename", fresh + " -> " + target, &failure);
    if (!moved && targetExists &&
        (failure.code == ERROR_ACCESS_DENIED || failure.code == ERROR_SHARING_VIOLATION))
        moved = renameOverOpenTarget(fresh, target);
    if (targetExists) win32::syscalls().setFileAttributes(target.c_str(), targetAttributes);
    // The move's own cause: the second way's failure says less.
    if (!moved && error) *error = failure;
    return moved;
}

bool makeExecutable(const std::string& path) {
    // Every file can be started by its name; only a missing file is an error.
    return fileExists(path);
}

}  // namespace platform
