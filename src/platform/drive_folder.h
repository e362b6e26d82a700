#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

// A folder on the navigator's removable drive, reached without ever following a link. Every name
// below it is walked one folder at a time from the folder itself, and nothing on the way may be
// a link (a symbolic link, a junction or another reparse point): a name that leads through one
// is refused, as are "", "." and "..". Only regular files are opened: a FIFO, a device or a
// socket is neither read nor waited on. A call that takes an OsError fills it in when it fails.
// Names are the navigator's own, UTF-16 with "\" between folders, so that a name that no ANSI code
// page holds is reached exactly.
namespace platform {

enum class EntryKind { File, Folder, Other };

struct DriveEntry {
    std::u16string name;
    EntryKind kind = EntryKind::Other;  // Other: a link, FIFO, device or socket
    uint64_t size = 0;
    FileTime lastWriteTime = 0;
    // False when the system's name has no exact UTF-16 form (on POSIX: bytes that are not UTF-8,
    // or a "\" inside the name); `name` is then only its readable approximation.
    bool exactName = true;
};

class DriveFolder {
  public:
    // `root` (ANSI) is taken as the system finds it: the drive's own folder.
    explicit DriveFolder(const std::string& root);
    ~DriveFolder();
    DriveFolder(const DriveFolder&) = delete;
    DriveFolder& operator=(const DriveFolder&) = delete;

    bool isOpen() const;
    // The entries of a folder below the root ("" for the root itself), without "." and "..".
    std::optional<std::vector<DriveEntry>> list(std::u16string_view folder) const;
    // What stands at the name; nothing when nothing does, or the way there is refused.
    std::optional<EntryKind> kindOf(std::u16string_view name) const;
    // Opens a regular file to read (OpenMode::Read), or creates a new one where nothing stands
    // (OpenMode::CreateNew); other modes are refused.
    bool openFile(std::u16string_view name, OpenMode mode, File& file,
                  OsError* error = nullptr) const;
    bool createFolder(std::u16string_view name, OsError* error = nullptr) const;
    // Removes an empty folder.
    bool removeFolder(std::u16string_view name, OsError* error = nullptr) const;
    // Removes a file (a link or FIFO itself, never what it points at); never a folder.
    bool removeFile(std::u16string_view name, OsError* error = nullptr) const;
    // Renames within the root; fails when anything stands at `to`.
    bool moveNoReplace(std::u16string_view from, std::u16string_view to,
                       OsError* error = nullptr) const;
    // As platform::moveIntoPlace: the complete regular file `fresh` takes the place of the
    // regular file `target` (or of nothing) in one step, its bytes on the disk first.
    bool moveIntoPlace(std::u16string_view fresh, std::u16string_view target,
                       OsError* error = nullptr) const;

  private:
    std::string root_;       // ANSI, for the log
    intptr_t handle_ = -1;   // POSIX: the root's descriptor
    std::u16string native_;  // Windows: the root as a "\\?\" path, ending with "\"
};

// Whether a name below a DriveFolder is one it walks: parts between "\" that are neither empty,
// "." nor "..", and hold no "/" or NUL.
bool isWalkableName(std::u16string_view name);

}  // namespace platform
