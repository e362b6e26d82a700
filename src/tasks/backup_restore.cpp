#include <zlib.h>

#include <algorithm>
#include <map>
#include <set>

#include "common/task_status.h"
#include "device/device_files.h"
#include "device/device_names.h"
#include "ops/route_book_list.h"
#include "platform/codepage.h"
#include "platform/file_info.h"
#include "platform/utf8_text.h"
#include "tasks/archive.h"
#include "tasks/backup.h"
#include "tasks/backup_files.h"
#include "tasks/backup_manifest.h"
#include "tasks/route_book_set.h"

namespace {

using platform::EntryKind;

constexpr uint32_t kEncryptedFlag = 0x1;
constexpr uint32_t kUtf8NameFlag = 0x800;

// A backup's files as its manifest lists them, and the file each entry of the zip holds.
struct CheckedBackup {
    std::vector<BackupFile> files;
    std::map<std::string, size_t> byEntry;  // the entry's name in UTF-8
    bool gbkNames = false;
};

std::string entryNameOf(const BackupFile& file) {
    return kBackupEntryPrefix + file.name;
}

// The entry's name in UTF-8: the first backups stored their names in GBK.
std::string entryName(const ArchiveEntryInfo& info, const CheckedBackup& backup) {
    if (!backup.gbkNames || (info.flag & kUtf8NameFlag)) return info.storedName;
    return utf8::fromUtf16(platform::gbkToUtf16(info.storedName));
}

// The manifest, read from its entry; nothing with the problem when it is missing or refused.
// Each file it lists takes more room in the zip than its line, so a manifest larger than the
// whole zip lists files the zip cannot hold, and is refused before it is read.
std::optional<BackupManifest> readManifestEntry(ArchiveReader& reader, uint64_t zipBytes,
                                                std::string& problem) {
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (!reader.currentInfo(info) || info.name != kBackupManifestName) continue;
        if (info.uncompressedSize > std::min<uint64_t>(kMaxManifestBytes, zipBytes)) {
            problem = "its manifest is larger than any backup of its size holds";
            return std::nullopt;
        }
        if (!reader.openCurrent()) break;
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
std::string entryProblem(const ArchiveEntryInfo& info, const std::string& name,
                         const CheckedBackup& backup, const std::set<size_t>& seen) {
    auto it = backup.byEntry.find(name);
    if (it == backup.byEntry.end()) return "it holds " + name + ", which the manifest lacks";
    if (seen.count(it->second)) return "it holds " + name + " twice";
    const BackupFile& file = backup.files[it->second];
    if (info.uncompressedSize != file.size || info.crc != file.crc)
        return name + " is not the file the manifest lists (its size or CRC differs)";
    if ((info.compressionMethod != 0 && info.compressionMethod != 8) ||
        (info.flag & kEncryptedFlag))
        return name + " is packed in a way the program does not read";
    return {};
}

// Every entry of the zip must be a file of the manifest, each once, of the manifest's size and
// CRC; the bytes themselves are checked against the CRC as they are read.
bool checkBackup(ArchiveReader& reader, uint64_t zipBytes, CheckedBackup& backup,
                 std::string& problem) {
    std::optional<BackupManifest> manifest = readManifestEntry(reader, zipBytes, problem);
    if (!manifest) return false;
    backup.files = std::move(manifest->files);
    backup.gbkNames = manifest->gbkNames;
    for (size_t i = 0; i < backup.files.size(); ++i)
        backup.byEntry[entryNameOf(backup.files[i])] = i;
    std::set<size_t> seen;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        if (!reader.currentInfo(info)) {
            problem = "an entry of it cannot be read";
            return false;
        }
        if (info.name == kBackupManifestName) continue;
        const std::string name = entryName(info, backup);
        problem = entryProblem(info, name, backup, seen);
        if (!problem.empty()) return false;
        seen.insert(backup.byEntry[name]);
    }
    for (size_t i = 0; i < backup.files.size(); ++i) {
        if (!seen.count(i)) {
            problem = "it lacks " + entryNameOf(backup.files[i]) + ", which the manifest lists";
            return false;
        }
    }
    return true;
}

// Takes away what work cut off earlier left, the replacements found among the data folder's
// files included; answers the entries as they are then.
std::optional<std::vector<DataFile>> finishLeftovers(const TaskContext& context,
                                                     const DataFolder& folder,
                                                     std::string& problem) {
    std::vector<LeftOut> unreachable;  // nothing a backup can name
    std::optional<std::vector<DataFile>> listed = folder.list(unreachable, problem);
    if (!listed) return std::nullopt;
    std::set<std::string> stems;
    for (const DataFile& file : *listed)
        if (file.kind == EntryKind::File && isReplacementName(file.name))
            stems.insert(file.name.substr(0, file.name.size() - kDeviceReplaceSuffixLength));
    for (const std::string& stem : stems)
        folder.tree().finishInterrupted(navigatorName(stem));
    removeLeftovers(context.device, context.mode, context.dataRoot, {});
    return stems.empty() ? listed : folder.list(unreachable, problem);
}

// The navigator's entries by name as the navigator compares names.
using OnNavigator = std::map<std::u16string, DataFile, std::less<>>;

std::u16string foldedName(const std::string& name) {
    return foldDeviceName(navigatorName(name));
}

OnNavigator byFoldedName(const std::vector<DataFile>& entries) {
    OnNavigator out;
    for (const DataFile& entry : entries)
        out.emplace(foldedName(entry.name), entry);
    return out;
}

// Why a backup's file cannot take its place on the navigator as it stands, or empty text: it
// would take a folder's place, put a folder in a file's, or go through what is neither.
std::string placeProblem(const std::string& name, const OnNavigator& present) {
    const std::u16string folded = foldedName(name);
    for (size_t end = folded.find(u'\\');; end = folded.find(u'\\', end + 1)) {
        const bool whole = end == std::u16string::npos;
        auto it = present.find(std::u16string_view(folded).substr(0, whole ? folded.size() : end));
        if (it != present.end()) {
            const DataFile& there = it->second;
            if (there.kind == EntryKind::Other)
                return there.name +
                       " on the navigator is no file or folder but a link, FIFO, "
                       "device or socket";
            if (whole && there.kind == EntryKind::Folder)
                return name + " would take the place of the navigator's folder " + there.name;
            if (!whole && there.kind == EntryKind::File)
                return name + " would put a folder in the place of the navigator's file " +
                       there.name;
        }
        if (whole) return {};
    }
}

bool sameAsBackup(const DataFolder& folder, const DataFile& present, const BackupFile& file) {
    if (present.size != file.size) return false;
    uLong crc = crc32(0, nullptr, 0);
    bool read = folder.tree().read(navigatorName(present.name), [&](const char* data, size_t n) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n));
        return true;
    });
    // A file the navigator cannot read back differs from any backup.
    return read && crc == file.crc;
}

// What the restore does with each file of the backup: the name to write it under, or empty
// when it stays as it is. The files that differ are replaced or kept all alike, on one answer.
std::vector<std::string> planWrites(const DataFolder& folder, const std::vector<BackupFile>& files,
                                    const OnNavigator& present, const ReplaceQuestion& replace,
                                    BackupOutcome& outcome) {
    std::vector<std::string> targets;
    std::vector<size_t> differ;  // positions in targets
    std::vector<std::string> names;
    for (const BackupFile& file : files) {
        auto it = present.find(foldedName(file.name));
        if (it == present.end()) {
            targets.push_back(file.name);
            continue;
        }
        targets.emplace_back();
        if (sameAsBackup(folder, it->second, file)) {
            ++outcome.unchanged;
        } else {
            differ.push_back(targets.size() - 1);
            names.push_back(it->second.name);
        }
    }
    const bool yes = !names.empty() && replace && replace(names);
    for (size_t i = 0; yes && i < differ.size(); ++i)
        targets[differ[i]] = names[i];
    (yes ? outcome.replaced : outcome.kept) = std::move(names);
    return targets;
}

// Why the backup's files cannot go where they belong on this navigator, or empty text.
std::string placesProblem(const DataFolder& folder, const std::vector<BackupFile>& files,
                          const OnNavigator& present) {
    for (const BackupFile& file : files) {
        std::string problem = placeProblem(file.name, present);
        if (!problem.empty()) return problem;
        if (!folder.fits(file.name))
            return file.name + " would not fit in a path of the navigator's data folder";
    }
    return {};
}

// Whether the planned writes fit in the navigator's free space; if not, why.
std::string spaceProblem(const DataFolder& folder, const std::vector<BackupFile>& files,
                         const std::vector<std::string>& targets) {
    uint64_t needed = 0;
    for (size_t i = 0; i < files.size(); ++i)
        if (!targets[i].empty()) needed += files[i].size;
    std::optional<uint64_t> free = folder.freeBytes();
    if (free && *free < needed)
        return "the navigator has " + std::to_string(*free) + " bytes free, the restore needs " +
               std::to_string(needed);
    return {};
}

enum class Written { Done, Failed, Damaged, Stopped };

// Writes the current entry of the zip beside the navigator's file `target`, as the copy that is
// put in its place later; only bytes that match the entry's CRC are kept. A failed write's cause
// in `error`.
Written writeCopy(const TaskContext& context, DataFolder& folder, ArchiveReader& reader,
                  const BackupFile& file, const std::string& target, platform::OsError& error) {
    if (!folder.makeFoldersFor(target, &error)) return Written::Failed;
    if (!reader.openCurrent()) return Written::Damaged;
    Written failure = Written::Failed;
    uint64_t total = 0;
    Replacement replacement;
    replacement.lastWriteTime = file.lastWriteTime;
    replacement.source = [&](char* buffer, size_t n) -> std::optional<size_t> {
        if (context.control.checkpoint()) {
            failure = Written::Stopped;
            return std::nullopt;
        }
        std::optional<size_t> got = reader.readCurrent(buffer, n);
        if (!got) failure = Written::Damaged;
        if (got) total += *got;
        return got;
    };
    replacement.check = [&] {
        if (reader.closeCurrent() && total == file.size) return true;
        failure = Written::Damaged;
        return false;
    };
    bool done = folder.tree().writeCopy(navigatorName(target), replacement, &error);
    reader.closeCurrent();
    return done ? Written::Done : failure;
}

// Reads the current entry of the zip to its end, for its CRC to be checked.
Written readThrough(const TaskContext& context, ArchiveReader& reader) {
    if (!reader.openCurrent()) return Written::Damaged;
    std::vector<char> piece(kLocalCopyChunk);
    for (;;) {
        if (context.control.checkpoint()) {
            reader.closeCurrent();
            return Written::Stopped;
        }
        std::optional<size_t> got = reader.readCurrent(piece.data(), piece.size());
        if (!got || *got == 0)
            return got && reader.closeCurrent() ? Written::Done : Written::Damaged;
    }
}

// The copies written so far; those not put in place go when the object goes.
class StagedCopies {
  public:
    StagedCopies(const TaskContext& context, const DataFolder& folder)
        : context_(context), tree_(folder.tree()) {}
    ~StagedCopies() { discard(); }
    StagedCopies(const StagedCopies&) = delete;
    StagedCopies& operator=(const StagedCopies&) = delete;

    void add(const std::string& target) { targets_.push_back(target); }
    // Removes the copies not put in place.
    void discard() {
        for (; placed_ < targets_.size(); ++placed_)
            tree_.discardCopy(navigatorName(targets_[placed_]));
    }
    // Puts every copy in place, in the order written; the name of one that fails (its cause in
    // `error`), else empty.
    std::string putInPlace(platform::OsError& error) {
        for (; placed_ < targets_.size(); ++placed_) {
            context_.control.waitWhilePaused();
            const std::string& target = targets_[placed_];
            if (!tree_.putInPlace(navigatorName(target), &error)) {
                ++placed_;
                return target;
            }
            ++inPlace_;
        }
        return {};
    }
    size_t inPlace() const { return inPlace_; }

  private:
    const TaskContext& context_;
    const NavigatorTree& tree_;
    std::vector<std::string> targets_;
    size_t placed_ = 0;  // copies put in place or given up
    size_t inPlace_ = 0;
};

void refuse(Seat& seat, BackupOutcome& outcome, std::string problem,
            const platform::OsError& cause = {}) {
    outcome.archiveFailed = true;
    failTask(seat, outcome, TaskStatus::RestoreRefused, std::move(problem), cause);
}

// Ends the restore on a copy that could not be written: false, with its status posted.
bool failCopy(const TaskContext& context, Written written, const std::string& entry,
              const std::string& target, const platform::OsError& error, BackupOutcome& outcome) {
    Seat& seat = context.device.seat;
    if (written == Written::Stopped) {
        outcome.stopped = true;
        seat.postStatus(TaskStatus::Done);
    } else if (written == Written::Damaged) {
        refuse(seat, outcome, entry + " is damaged: its bytes do not match its CRC", error);
    } else {
        failTask(seat, outcome, TaskStatus::TransferError,
                 "cannot write " + target + " on the navigator", error);
    }
    return false;
}

// Writes the copies of the planned files in the zip's order, and reads the others through, so
// that every file of the backup is checked against its CRC before any copy is put in place;
// false, with the status posted, when a copy fails, the zip turns out damaged or a stop is asked
// for.
bool writeCopies(const TaskContext& context, DataFolder& folder, ArchiveReader& reader,
                 const CheckedBackup& backup, const std::vector<std::string>& targets,
                 StagedCopies& staged, BackupOutcome& outcome) {
    int ordinal = 0;
    for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
        ArchiveEntryInfo info;
        auto it = reader.currentInfo(info) ? backup.byEntry.find(entryName(info, backup))
                                           : backup.byEntry.end();
        if (it == backup.byEntry.end()) continue;
        const std::string& target = targets[it->second];
        if (!target.empty()) context.device.seat.postProgress(TaskKind::Restore, ++ordinal);
        platform::OsError error;
        Written written = Written::Stopped;
        if (!context.control.checkpoint())
            written = target.empty() ? readThrough(context, reader)
                                     : writeCopy(context, folder, reader, backup.files[it->second],
                                                 target, error);
        if (written == Written::Damaged) error = reader.osError();
        if (written != Written::Done)
            return failCopy(context, written, entryName(info, backup), target, error, outcome);
        if (target.empty()) continue;
        staged.add(target);
        outcome.bytes += backup.files[it->second].size;
    }
    return true;
}

// The backup's zip opened, and its size; nothing, with the restore refused, when it cannot be.
std::optional<uint64_t> openBackup(Seat& seat, const std::string& archivePath,
                                   ArchiveReader& reader, BackupOutcome& outcome) {
    platform::OsError error;
    std::optional<platform::FileInfo> zip = platform::fileInfo(archivePath, &error);
    if (zip && reader.open(archivePath)) return zip->size;
    if (zip) error = reader.osError();
    refuse(seat, outcome, "it is not a zip archive", error);
    return std::nullopt;
}

void restore(const TaskContext& context, const std::string& archivePath,
             const ReplaceQuestion& replace, BackupOutcome& outcome) {
    DataFolder folder(context);
    std::string problem;
    std::optional<std::vector<DataFile>> listed = finishLeftovers(context, folder, problem);
    if (!listed) return failTask(context.device.seat, outcome, TaskStatus::TransferError, problem);
    ArchiveReader reader;
    std::optional<uint64_t> zipBytes =
        openBackup(context.device.seat, archivePath, reader, outcome);
    if (!zipBytes) return;
    CheckedBackup backup;
    if (!checkBackup(reader, *zipBytes, backup, problem))
        return refuse(context.device.seat, outcome, problem);
    const OnNavigator present = byFoldedName(*listed);
    problem = placesProblem(folder, backup.files, present);
    if (!problem.empty()) return refuse(context.device.seat, outcome, problem);
    std::vector<std::string> targets = planWrites(folder, backup.files, present, replace, outcome);
    problem = spaceProblem(folder, backup.files, targets);
    if (!problem.empty())
        return failTask(context.device.seat, outcome, TaskStatus::NoSpace, problem);
    // Every copy is written and checked before any takes its file's place: a damaged backup or
    // a stop changes nothing.
    StagedCopies staged(context, folder);
    if (!writeCopies(context, folder, reader, backup, targets, staged, outcome)) {
        staged.discard();
        folder.removeMadeFolders();
        outcome.bytes = 0;
        return;
    }
    platform::OsError error;
    std::string failed = staged.putInPlace(error);
    outcome.files = staged.inPlace();
    if (outcome.files > 0) clearRouteBooks(context.device);
    if (!failed.empty())
        return failTask(context.device.seat, outcome, TaskStatus::TransferError,
                        "cannot put " + failed + " in place on the navigator", error);
    outcome.finished = true;
    context.device.seat.postStatus(TaskStatus::Done);
}

}  // namespace

void restoreNavigator(const TaskContext& context, const std::string& archivePath,
                      const ReplaceQuestion& replace, BackupOutcome& outcome) {
    restore(context, archivePath, replace, outcome);
    logFailure(outcome, "restore from " + archivePath);
}
