#include <map>
#include <set>

#include "common/task_status.h"
#include "device/device_files.h"
#include "device/device_names.h"
#include "ops/route_book_list.h"
#include "platform/codepage.h"
#include "platform/digest.h"
#include "tasks/archive.h"
#include "tasks/backup.h"
#include "tasks/backup_files.h"
#include "tasks/backup_manifest.h"

namespace {

constexpr size_t kPieceBytes = 65536;
constexpr uint32_t kEncryptedFlag = 0x1;

// Where a check of the backup ended.
enum class Checked { Good, Refused, Stopped };

// A backup's files, checked against its manifest, with the zip's own checksum of each, and the
// file each entry of the zip holds (in zip order).
struct CheckedBackup {
    std::vector<BackupFile> files;
    std::vector<uint32_t> crcs;
    std::map<std::string, size_t> byEntry;
};

std::string entryNameOf(const BackupFile& file) {
    return kBackupEntryPrefix + file.name;
}

// The manifest, read from its entry; nothing with the problem when it is missing or refused.
std::optional<std::vector<BackupFile>> readManifestEntry(ArchiveReader& reader,
                                                         std::string& problem) {
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (!reader.currentInfo(info) || info.name != kBackupManifestName) continue;
        if (info.uncompressedSize > kMaxManifestBytes || !reader.openCurrent()) break;
        std::string text(static_cast<size_t>(info.uncompressedSize), '\0');
        size_t got = 0;
        while (got < text.size()) {
            std::optional<size_t> n = reader.readCurrent(text.data() + got, text.size() - got);
            if (!n || *n == 0) break;
            got += *n;
        }
        if (!reader.closeCurrent() || got != text.size()) break;
        return readBackupManifest(text, problem);
    }
    problem = "it holds no readable manifest (" + std::string(kBackupManifestName) + ")";
    return std::nullopt;
}

// Why the current entry cannot be the file the manifest lists under its name, or empty text.
std::string entryProblem(const ArchiveEntryInfo& info, const CheckedBackup& backup,
                         const std::set<size_t>& seen) {
    auto it = backup.byEntry.find(info.name);
    if (it == backup.byEntry.end()) return "it holds " + info.name + ", which the manifest lacks";
    if (seen.count(it->second)) return "it holds " + info.name + " twice";
    if (info.uncompressedSize != backup.files[it->second].size)
        return info.name + " is not of the size the manifest gives";
    if ((info.compressionMethod != 0 && info.compressionMethod != 8) ||
        (info.flag & kEncryptedFlag))
        return info.name + " is packed in a way the program does not read";
    return {};
}

// Reads the current entry whole and compares it with the manifest's size and MD5.
Checked checkEntryBytes(ArchiveReader& reader, const BackupFile& file, const TaskControl& control) {
    if (!reader.openCurrent()) return Checked::Refused;
    platform::Md5 md5;
    uint64_t total = 0;
    std::vector<char> piece(kPieceBytes);
    for (;;) {
        if (control.checkpoint()) {
            reader.closeCurrent();
            return Checked::Stopped;
        }
        std::optional<size_t> got = reader.readCurrent(piece.data(), piece.size());
        if (!got || *got == 0) {
            bool whole = got && reader.closeCurrent();
            return whole && total == file.size && md5.hex() == file.md5 ? Checked::Good
                                                                        : Checked::Refused;
        }
        md5.add(piece.data(), *got);
        total += *got;
    }
}

// Every entry of the zip must be a file of the manifest, each once, whole, of its size and MD5.
Checked checkBackup(ArchiveReader& reader, const TaskControl& control, CheckedBackup& backup,
                    std::string& problem) {
    std::optional<std::vector<BackupFile>> files = readManifestEntry(reader, problem);
    if (!files) return Checked::Refused;
    backup.files = std::move(*files);
    backup.crcs.assign(backup.files.size(), 0);
    for (size_t i = 0; i < backup.files.size(); ++i)
        backup.byEntry[entryNameOf(backup.files[i])] = i;
    std::set<size_t> seen;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (!reader.currentInfo(info)) {
            problem = "an entry of it cannot be read";
            return Checked::Refused;
        }
        if (info.name == kBackupManifestName) continue;
        problem = entryProblem(info, backup, seen);
        if (!problem.empty()) return Checked::Refused;
        size_t index = backup.byEntry[info.name];
        Checked checked = checkEntryBytes(reader, backup.files[index], control);
        if (checked == Checked::Refused)
            problem = info.name + " is damaged: its bytes do not match the manifest";
        if (checked != Checked::Good) return checked;
        seen.insert(index);
        backup.crcs[index] = info.crc;
    }
    for (size_t i = 0; i < backup.files.size(); ++i) {
        if (!seen.count(i)) {
            problem = "it lacks " + entryNameOf(backup.files[i]) + ", which the manifest lists";
            return Checked::Refused;
        }
    }
    return Checked::Good;
}

// Finishes the replacements an earlier run left cut off; answers the files as they are then.
std::optional<std::vector<DataFile>> finishLeftovers(const TaskContext& context,
                                                     const DataFolder& folder,
                                                     std::string& problem) {
    std::optional<std::vector<DataFile>> listed = folder.listFiles(problem);
    if (!listed) return std::nullopt;
    std::set<std::string> stems;
    for (const DataFile& file : *listed)
        if (isReplacementName(file.name))
            stems.insert(file.name.substr(0, file.name.size() - kDeviceReplaceSuffixLength));
    for (const std::string& stem : stems)
        finishInterruptedReplacement(context.device.rapi, folder.pathOf(stem));
    return stems.empty() ? listed : folder.listFiles(problem);
}

// The navigator's files by name as the navigator compares names.
using FilesOnNavigator = std::map<std::u16string, DataFile>;

FilesOnNavigator byFoldedName(const std::vector<DataFile>& files) {
    FilesOnNavigator out;
    for (const DataFile& file : files)
        out.emplace(foldDeviceName(platform::ansiToUtf16(file.name)), file);
    return out;
}

bool sameAsBackup(const TaskContext& context, const DataFolder& folder, const DataFile& present,
                  const BackupFile& file) {
    if (present.size != file.size) return false;
    platform::Md5 md5;
    int read = readNavigatorFile(context.device.rapi, folder.pathOf(present.name),
                                 [&](const char* data, size_t n) { return md5.add(data, n); });
    // A file the navigator cannot read back differs from any backup.
    return read && md5.hex() == file.md5;
}

// What the restore does with each file of the backup: the name to write it under, or empty
// when it stays as it is.
std::vector<std::string> planWrites(const TaskContext& context, const DataFolder& folder,
                                    const std::vector<BackupFile>& files,
                                    const FilesOnNavigator& present, const ReplaceQuestion& replace,
                                    BackupOutcome& outcome) {
    std::vector<std::string> targets;
    for (const BackupFile& file : files) {
        auto it = present.find(foldDeviceName(platform::ansiToUtf16(file.name)));
        if (it == present.end()) {
            targets.push_back(file.name);
        } else if (sameAsBackup(context, folder, it->second, file)) {
            ++outcome.unchanged;
            targets.emplace_back();
        } else if (replace && replace(it->second.name)) {
            outcome.replaced.push_back(it->second.name);
            targets.push_back(it->second.name);
        } else {
            outcome.kept.push_back(it->second.name);
            targets.emplace_back();
        }
    }
    return targets;
}

// Why the planned writes cannot be made on this navigator, or empty text.
std::string writesProblem(const DataFolder& folder, const std::vector<BackupFile>& files,
                          const std::vector<std::string>& targets, TaskStatus& status) {
    uint64_t needed = 0;
    status = TaskStatus::UnpackFailed;
    for (size_t i = 0; i < files.size(); ++i) {
        if (targets[i].empty()) continue;
        if (!folder.fits(targets[i]))
            return targets[i] + " would not fit in a path of the navigator's data folder";
        needed += files[i].size;
    }
    std::optional<uint64_t> free = folder.freeBytes();
    status = TaskStatus::NoSpace;
    if (free && *free < needed)
        return "the navigator has " + std::to_string(*free) + " bytes free, the restore needs " +
               std::to_string(needed);
    return {};
}

enum class Written { Done, Failed, Stopped };

// Writes the current entry of the zip over the navigator's file `target`, by a complete copy
// that goes in only when its bytes match the zip's checksum as it was checked.
Written writeEntry(const TaskContext& context, DataFolder& folder, ArchiveReader& reader,
                   const BackupFile& file, uint32_t crc, const std::string& target) {
    if (!folder.makeFoldersFor(target) || !reader.openCurrent()) return Written::Failed;
    bool stopped = false;
    uint64_t total = 0;
    Replacement replacement;
    replacement.lastWriteTime = file.lastWriteTime;
    replacement.source = [&](char* buffer, size_t n) -> std::optional<size_t> {
        if (context.control.checkpoint()) {
            stopped = true;
            return std::nullopt;
        }
        std::optional<size_t> got = reader.readCurrent(buffer, n);
        if (got) total += *got;
        return got;
    };
    ArchiveEntryInfo info;
    replacement.check = [&] {
        return reader.closeCurrent() && total == file.size && reader.currentInfo(info) &&
               info.crc == crc;
    };
    int done = replaceNavigatorFile(context.device.rapi, folder.pathOf(target), replacement);
    reader.closeCurrent();
    if (done) return Written::Done;
    return stopped ? Written::Stopped : Written::Failed;
}

void refuse(BackupOutcome& outcome, std::string problem) {
    outcome.archiveFailed = true;
    failTask(outcome, TaskStatus::UnpackFailed, std::move(problem));
}

// Writes the planned files in the zip's order.
void writeFiles(const TaskContext& context, DataFolder& folder, ArchiveReader& reader,
                const CheckedBackup& backup, const std::vector<std::string>& targets,
                BackupOutcome& outcome) {
    int ordinal = 0;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        auto it = reader.currentInfo(info) ? backup.byEntry.find(info.name) : backup.byEntry.end();
        if (it == backup.byEntry.end() || targets[it->second].empty()) continue;
        const BackupFile& file = backup.files[it->second];
        postTaskProgress(TaskKind::Restore, ++ordinal);
        Written written = context.control.checkpoint()
                              ? Written::Stopped
                              : writeEntry(context, folder, reader, file, backup.crcs[it->second],
                                           targets[it->second]);
        if (written == Written::Stopped) {
            outcome.stopped = true;
            return postTaskStatus(TaskStatus::Done);
        }
        if (written == Written::Failed)
            return failTask(outcome, TaskStatus::TransferError,
                            "cannot write " + targets[it->second] + " on the navigator");
        ++outcome.files;
        outcome.bytes += file.size;
    }
    outcome.finished = true;
    postTaskStatus(TaskStatus::Done);
}

}  // namespace

void restoreNavigator(const TaskContext& context, const std::string& archivePath,
                      const ReplaceQuestion& replace, BackupOutcome& outcome) {
    DataFolder folder(context);
    std::string problem;
    std::optional<std::vector<DataFile>> present = finishLeftovers(context, folder, problem);
    if (!present) return failTask(outcome, TaskStatus::TransferError, problem);
    ArchiveReader reader;
    if (!reader.open(archivePath)) return refuse(outcome, "it is not a zip archive");
    CheckedBackup backup;
    Checked checked = checkBackup(reader, context.control, backup, problem);
    if (checked == Checked::Stopped) {
        outcome.stopped = true;
        return postTaskStatus(TaskStatus::Done);
    }
    if (checked == Checked::Refused) return refuse(outcome, problem);
    std::vector<std::string> targets =
        planWrites(context, folder, backup.files, byFoldedName(*present), replace, outcome);
    TaskStatus status = TaskStatus::Done;
    problem = writesProblem(folder, backup.files, targets, status);
    if (!problem.empty()) return failTask(outcome, status, problem);
    writeFiles(context, folder, reader, backup, targets, outcome);
    if (outcome.files > 0) clearRouteBooks(context.device);
}
