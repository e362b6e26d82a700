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

// One file of a backup. `name` is the navigator's own name, relative to its data folder, in
// UTF-8 with "\" between folders.
struct BackupFile {
    std::string name;
    uint64_t size = 0;
    uint32_t crc = 0;  // CRC-32 as zip computes it
    platform::FileTime lastWriteTime = 0;
};

// The zip holds the manifest under this name and every file under the prefix + its name.
inline constexpr const char* kBackupManifestName = "manifest.txt";
inline constexpr const char* kBackupEntryPrefix = "userdata\\";
// The manifest's first line. Backups name their files in UTF-8 (in the manifest and, with the
// zip's language-encoding flag, in the zip); the first ones named them in GBK, and still restore.
inline constexpr const char* kBackupManifestHeader = "vantu backup 2";
inline constexpr const char* kBackupManifestHeaderGbk = "vantu backup 1";

// What a navigator holds, and so what a restore puts back: its FAT storage keeps files below
// 4 GiB and at most 65536 entries in a folder; its paths hold 260 UTF-16 units, which no name
// longer than kMaxBackupNameUnits or deeper than kMaxBackupFolderDepth folders leaves room for.
inline constexpr size_t kMaxBackupFiles = 65536;
inline constexpr uint64_t kMaxBackupFileBytes = 0xFFFFFFFFu;
inline constexpr size_t kMaxBackupNameUnits = 240;
inline constexpr size_t kMaxBackupFolderDepth = 32;
// A line: the CRC, size and time (at most 41 bytes with their spaces), the name (at most three
// UTF-8 bytes a unit) and its end.
inline constexpr size_t kMaxManifestBytes = kMaxBackupFiles * (42 + 3 * kMaxBackupNameUnits);

struct BackupManifest {
    bool gbkNames = false;  // the first format: names in GBK
    std::vector<BackupFile> files;
};

std::string writeBackupManifest(const std::vector<BackupFile>& files);
// The files a manifest lists (names in UTF-8 whatever its format), or nothing with `problem`
// saying why it is refused: not a manifest, a line that is not one file, a size or count beyond
// the bounds, a name that could leave the data folder or that no navigator can hold, or names
// that clash (clashingNames).
std::optional<BackupManifest> readBackupManifest(std::string_view text, std::string& problem);
// Why `name` (UTF-8) cannot be the name of a backup's file, or empty text when it can: it must
// be UTF-8 text, relative, stay inside the folder, hold no character the navigator's storage
// refuses, fit the bounds above, and not be a name under which a replacement writes.
std::string backupNameProblem(std::string_view name);

// Two names that the navigator cannot both hold: `later` names the same file as `earlier`
// (letter case ignored, as the navigator ignores it), or a file below it, when `earlier` is a
// file.
struct NameClash {
    size_t earlier;
    size_t later;
    bool below;  // `later` is below the file `earlier`
};
// Every clash among the names (UTF-8), each later name once; time and memory in proportion to
// the names' length.
std::vector<NameClash> clashingNames(const std::vector<std::string_view>& names);
