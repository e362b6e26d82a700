#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

// The manifest of a navigator's backup: a small text file inside the backup's zip that lists
// every file with its size, CRC-32 and last-write time (docs/backup-format.md). The CRC-32 is the
// one zip keeps for each entry, so that a restore checks every file as it reads it.

// One file of a backup. `name` is relative to the navigator's data folder, ANSI, with "\"
// between folders.
struct BackupFile {
    std::string name;
    uint64_t size = 0;
    uint32_t crc = 0;  // CRC-32 as zip computes it
    platform::FileTime lastWriteTime = 0;
};

// The zip holds the manifest under this name and every file under the prefix + its name.
inline constexpr const char* kBackupManifestName = "manifest.txt";
inline constexpr const char* kBackupEntryPrefix = "userdata\\";
inline constexpr const char* kBackupManifestHeader = "vantu backup 1";

// Bounds of what a restore reads: a navigator holds a few thousand files at most, each below
// 4 GiB (its storage is FAT), under names that fit the system's 260-character paths.
inline constexpr size_t kMaxBackupFiles = 65536;
inline constexpr uint64_t kMaxBackupFileBytes = 0xFFFFFFFFu;
inline constexpr size_t kMaxBackupNameBytes = 240;
inline constexpr size_t kMaxManifestBytes = kMaxBackupFiles * (kMaxBackupNameBytes + 80);

std::string writeBackupManifest(const std::vector<BackupFile>& files);
// The files a manifest lists, or nothing with `problem` saying why it is refused: not a
// manifest, a line that is not one file, a size or count beyond the bounds, a name that could
// leave the data folder or that the navigator cannot hold, a file listed twice (letter case
// ignored, as the navigator ignores it) or a name that is both a file and a folder.
std::optional<std::vector<BackupFile>> readBackupManifest(std::string_view text,
                                                          std::string& problem);
// Why `name` cannot be the name of a backup's file, or empty text when it can: it must be
// relative, stay inside the folder, hold no character the navigator's storage refuses, and not
// be a name under which a replacement writes.
std::string backupNameProblem(const std::string& name);
