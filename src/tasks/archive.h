#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/os_error.h"

// Route book packages: zip archives read and written through minizip. Paths are local ANSI
// paths; names inside an archive use "\" as the separator ("/" is accepted on reading).

// What the archive holds about its current entry.
struct ArchiveEntryInfo {
    std::string name;  // "/" replaced by "\"; UTF-8 names (flag bit 11) in ANSI
    // The name's bytes as stored, "/" replaced by "\" (neither GBK nor UTF-8 has that byte
    // inside a character).
    std::string storedName;
    std::string comment;
    uint32_t versionMadeBy = 0;
    uint32_t versionNeeded = 0;
    uint32_t flag = 0;
    uint32_t compressionMethod = 0;
    uint32_t dosDate = 0;  // date in the high 16 bits, time in the low 16 bits
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint32_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    bool isFolder = false;
};

class ArchiveReader {
  public:
    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Opens an archive; the output folder becomes its path without the extension.
    bool open(const std::string& archivePath);
    // Fails when the path is a file; otherwise creates the folder with its missing parents.
    bool setOutputFolder(const std::string& folder);
    int entryCount() const;
    // With an extension (no dot), moves on to the first entry that has it, in any letter case.
    bool gotoFirst(std::string_view extension = {});
    bool gotoNext(std::string_view extension = {});
    bool currentInfo(ArchiveEntryInfo& info);
    // Unpacks the current entry into `folder` (the output folder when empty), with its stored
    // folders unless `ignorePaths`. An entry that names a place outside the folder (absolute, a
    // drive or root prefix, or climbing out with "..") is refused.
    bool extractCurrent(const std::string& folder = {}, bool ignorePaths = false);
    // Every entry into the output folder; stops at the first one that fails.
    bool extractAll(bool ignorePaths = false);
    // The current entry's bytes in pieces: open it, read until 0, close it. readCurrent answers
    // the count read, 0 at the end, or nothing when the entry is damaged; closeCurrent is false
    // when the bytes read do not match the entry's checksum (only a whole read is checked). A
    // stored entry is read straight from its data in large pieces, not through the inflater.
    bool openCurrent();
    std::optional<size_t> readCurrent(void* buffer, size_t n);
    bool closeCurrent();
    void close();
    // The system's cause of the last failed open, read or write of a file (the zip, or one
    // unpacked from it) since open().
    const platform::OsError& osError() const { return error_; }

  private:
    // From the current entry on, the first one with the extension (any entry when empty).
    bool seekExtension(std::string_view extension);

    struct StoredRead;

    void* handle_ = nullptr;
    std::string outputFolder_;
    std::unique_ptr<StoredRead> stored_;
    platform::OsError error_;
};

class ArchiveWriter {
  public:
    ArchiveWriter() = default;
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Names are stored relative to `baseFolder` (the archive's own folder when empty). With
    // `append`, an existing archive is extended; a missing one is created.
    bool open(const std::string& archivePath, const std::string& baseFolder = {},
              bool append = false);
    // Adds one file, deflated at the default level. A relative path is taken from the base
    // folder; an absolute one must lie inside it. With `ignorePath` only the file name is
    // stored.
    bool addFile(const std::string& path, bool ignorePath = false);
    // Adds an entry whose bytes come in pieces, stored as they are (no compression): begin it
    // with its stored name ("\" separators; in UTF-8 with the language-encoding flag when
    // `utf8Name`), last-write time and size (4 GiB or more takes the zip64 fields), write every
    // piece, end it. False when any step fails.
    bool beginEntry(const std::string& name, platform::FileTime lastWriteTime, uint64_t size,
                    bool utf8Name = false);
    bool writeEntry(const void* data, size_t n);
    bool endEntry();
    bool close();
    // The system's cause of the last failed open, read or write of a file (the zip, or one
    // added to it) since open().
    const platform::OsError& osError() const { return error_; }

    int fileCount() const { return fileCount_; }
    uint64_t byteCount() const { return byteCount_; }

  private:
    void* handle_ = nullptr;
    std::string baseFolder_;
    int fileCount_ = 0;
    uint64_t byteCount_ = 0;
    platform::OsError error_;
};

// Whether a stored name, taken relative to the folder it is unpacked into, stays inside it: not
// absolute, no drive or root prefix, no ".." part, and not the folder itself.
bool staysInsideFolder(const std::string& name);

// True when the folder exists or could be made, with every missing parent.
bool createFolderPath(const std::string& path);
// Creates the folders above a file path.
bool createParentFolders(const std::string& filePath);
// Sets a file's creation and last-write time from a DOS date and time in local time; the
// last-access time stays. Any failure leaves the times as they were.
bool setFileTimeFromDos(const std::string& filePath, uint32_t dosDateTime);
// A file's last-write time in local calendar fields.
std::optional<platform::LocalTime> fileLocalTime(const std::string& filePath);
