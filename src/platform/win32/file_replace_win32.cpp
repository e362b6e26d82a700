#include "platform/file_replace.h"
#include "platform/win32/win32_util.h"

namespace platform {

namespace {

constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY;

// Pushes the copy's bytes to the disk before it takes the target's name, so that a crash right
// after the rename finds the whole new file rather than an empty one.
bool flushToDisk(const std::string& path) {
    win32::Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && FlushFileBuffers(file.get()) && file.reset();
}

void removeCopy(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

}  // namespace

bool replaceWithCopy(const std::string& source, const std::string& target) {
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
        if (CopyFileA(source.c_str(), candidate.c_str(), TRUE)) {
            copy = candidate;
        } else if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            // A copy cut short by a full disk may be left half-written.
            if (win32::attributesAt(candidate) != INVALID_FILE_ATTRIBUTES) removeCopy(candidate);
            return false;
        }
    }
    if (copy.empty()) return false;
    // The result carries the target's attributes (read-only, hidden, system) as POSIX keeps the
    // target's mode; a new target keeps the source's, which CopyFile gave the copy.
    DWORD finalAttributes = targetExists ? targetAttributes : sourceAttributes;
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!flushToDisk(copy)) {
        removeCopy(copy);
        return false;
    }
    // A read-only target refuses to be replaced; it gets its flag back if the rename fails.
    if (targetExists && (targetAttributes & kReadOnly))
        SetFileAttributesA(target.c_str(), targetAttributes & ~kReadOnly);
    // A running program cannot be replaced on Windows: the rename fails and the old file stays.
    if (!MoveFileExA(copy.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (targetExists && (targetAttributes & kReadOnly))
            SetFileAttributesA(target.c_str(), targetAttributes);
        removeCopy(copy);
        return false;
    }
    SetFileAttributesA(target.c_str(), finalAttributes);
    return true;
}

bool makeExecutable(const std::string& path) {
    // Every file can be started by its name; only a missing file is an error.
    return fileExists(path);
}

}  // namespace platform
