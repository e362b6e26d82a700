#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os_error.h"

// Local files and folders. Paths are ANSI text (see paths.h); the POSIX side converts them to
// UTF-8 at every system call. A call that can fail and takes an OsError fills it in with the
// system's cause; without one, a failure that is a fault rather than an answer goes to the log.
namespace platform {

// Windows file attribute bits, which the folder listings report on every platform.
inline constexpr uint32_t kAttrReadOnly = 0x1;
inline constexpr uint32_t kAttrHidden = 0x2;
inline constexpr uint32_t kAttrSystem = 0x4;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kAttrTemporary = 0x100;

// A file time: 100-nanosecond intervals since 1601-01-01 UTC, as Windows counts.
using FileTime = uint64_t;

enum class OpenMode {
    Read,               // existing file, read only
    ReadWriteExisting,  // existing file, read and write
    CreateAlways,       // read and write; created, or truncated when it exists
    OpenAlways,         // read and write; created when missing, never truncated
    CreateNew,          // read and write; a new file, failing when anything (a link included)
                        // stands at the name
};

class DriveFolder;

// An open local file; closed when the object goes.
class File {
  public:
    File() = default;
    File(const std::string& path, OpenMode mode, OsError* error = nullptr) {
        open(path, mode, error);
    }
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
        other.handle_ = -1;
    }
    File& operator=(File&& other) noexcept;

    // Only a regular file opens: a folder, a FIFO or a device is refused at once, never waited
    // on.
    bool open(const std::string& path, OpenMode mode, OsError* error = nullptr);
    void close();
    bool isOpen() const { return handle_ != -1; }

    // Reads up to n bytes; returns the count read (0 at the end or on error, which *error
    // tells apart).
    size_t read(void* buffer, size_t n, OsError* error = nullptr);
    // Writes all n bytes; false when not all of them were written.
    bool write(const void* data, size_t n, OsError* error = nullptr);
    bool seek(int64_t offset);
    // Size in bytes, or -1.
    int64_t size() const;
    // Sets the last-access and last-write time (creation time where the platform has one).
    bool setTimes(FileTime time);

  private:
    friend class DriveFolder;
    // Takes over an open descriptor or handle.
    void adopt(intptr_t handle, std::string path) {
        close();
        handle_ = handle;
        path_ = std::move(path);
    }

    intptr_t handle_ = -1;  // file descriptor or HANDLE
    std::string path_;      // for the log
};

struct FolderEntry {
    std::string name;  // ANSI
    uint32_t attributes = 0;
    FileTime lastWriteTime = 0;
    uint64_t size = 0;
};

// Entries of a folder (without "." and ".."), in the order of the file system's enumeration;
// nothing when the folder cannot be listed.
std::optional<std::vector<FolderEntry>> listFolder(const std::string& folder);
// Entries matching a pattern with '*' and '?' in its last component (as FindFirstFile takes it:
// "folder/*.trk"); nothing when the folder cannot be listed.
std::optional<std::vector<FolderEntry>> findFiles(const std::string& pattern);

bool readWholeFile(const std::string& path, std::string& out, OsError* error = nullptr);
bool writeWholeFile(const std::string& path, std::string_view data, OsError* error = nullptr);
// Writes `data` as a new file: whatever file, link or pipe stands at the name is removed first,
// never followed or opened, and the file is created exclusively (readable by the user only on
// POSIX). False when the name cannot be cleared or not all of the data was written; nothing is
// left at the name then.
bool writeNewFile(const std::string& path, std::string_view data, OsError* error = nullptr);
bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
bool deleteFile(const std::string& path, OsError* error = nullptr);
// One level; true also when the folder exists already.
bool createFolder(const std::string& path, OsError* error = nullptr);
// Removes an empty folder.
bool removeFolder(const std::string& path, OsError* error = nullptr);

}  // namespace platform
