#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"

// What the archive helpers ask of one local file or folder.
namespace platform {

struct FileInfo {
    uint32_t attributes = 0;  // Windows attribute bits (files.h)
    FileTime lastWriteTime = 0;
    uint64_t size = 0;
};

// Nothing when the path does not exist.
std::optional<FileInfo> fileInfo(const std::string& path, OsError* error = nullptr);
// Sets the creation time (where the platform keeps one) and the last-write time of an existing
// file; the last-access time stays as it was.
bool setFileWriteTime(const std::string& path, FileTime time);

}  // namespace platform
