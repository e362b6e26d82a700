#include "tasks/backup.h"

#include <zlib.h>

#include <map>

#include "common/task_status.h"
#include "device/device_files.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file_replace.h"
#include "tasks/archive.h"
#include "tasks/backup_files.h"
#include "tasks/backup_manifest.h"

namespace {

using platform::EntryKind;

// The files a backup takes, and what it passes over. A replacement that was cut off between its
// two moves left the file only under its parked name: it is backed up under its own. Other
// leftovers of replacements are not the navigator's files.
std::vector<DataFile> filesToBackUp(const std::vector<DataFile>& listed,
                                    std::vector<LeftOut>& leftOut) {
    std::map<std::string, DataFile> byName;
    for (const DataFile& file : listed) {
        if (file.kind == EntryKind::Other)
            leftOut.push_back({file.name, "not a file or folder: a link, FIFO, device or socket"});
        else if (file.kind == EntryKind::File && !isReplacementName(file.name))
            byName.emplace(file.name, file);
    }
    for (const DataFile& file : listed) {
        if (file.kind != EntryKind::File || !isParkedName(file.name)) continue;
        DataFile parked = file;
        parked.parkedAs = file.name;
        parked.name.resize(parked.name.size() - kDeviceReplaceSuffixLength);
        byName.emplace(parked.name, std::move(parked));  // never over the file itself
    }
    std::vector<DataFile> out;
    for (auto& [name, file] : byName)
        out.push_back(std::move(file));
    return out;
}

// Leaves out the files that no restore could put back, as a restore checks them: their names,
// depth and size, their paths on this navigator, and two names for one file.
std::vector<DataFile> restorable(const DataFolder& folder, std::vector<DataFile> files,
                                 std::vector<LeftOut>& leftOut) {
    std::vector<DataFile> kept;
    for (DataFile& file : files) {
        std::string why = backupNameProblem(file.name);
        if (why.empty() && file.size > kMaxBackupFileBytes) why = "a file of 4 GiB or more";
        if (why.empty() && !folder.fits(file.name)) why = "a path longer than a navigator's";
        if (why.empty())
            kept.push_back(std::move(file));
        else
            leftOut.push_back({file.name, why});
    }
    std::vector<std::string_view> names;
    for (const DataFile& file : kept)
        names.push_back(file.name);
    std::vector<bool> clashing(kept.size());
    for (const NameClash& clash : clashingNames(names)) {
        clashing[clash.later] = true;
        leftOut.push_back(
            {kept[clash.later].name, (clash.below ? "below the file " : "the same file as ") +
                                         kept[clash.earlier].name + " on a navigator"});
    }
    std::vector<DataFile> out;
    for (size_t i = 0; i < kept.size(); ++i)
        if (!clashing[i]) out.push_back(std::move(kept[i]));
    return out;
}

// The backup's zip, written under a name of its own beside the one asked for and put in its
// place only when whole; removed when it goes unfinished.
class PendingArchive {
  public:
    explicit PendingArchive(const std::string& target) : target_(target) {
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            std::string candidate = target + "." + std::to_string(i) + ".tmp";
            platform::File claim(candidate, platform::OpenMode::CreateNew, &error);
            if (claim.isOpen()) path_ = candidate;
        }
        // A name taken by a leftover is no failure once another is claimed.
        if (!path_.empty()) error = {};
        if (!path_.empty() && !writer.open(path_)) {
            error = writer.osError();
            platform::deleteFile(path_);
            path_.clear();
        }
    }
    ~PendingArchive() {
        writer.close();
        if (!path_.empty()) platform::deleteFile(path_);
    }
    PendingArchive(const PendingArchive&) = delete;
    PendingArchive& operator=(const PendingArchive&) = delete;

    bool isOpen() const { return !path_.empty(); }
    bool commit() {
        if (!writer.close()) {
            error = writer.osError();
            return false;
        }
        if (!platform::moveIntoPlace(path_, target_, &error)) return false;
        path_.clear();
        return true;
    }

    ArchiveWriter writer;
    platform::OsError error;  // why the zip cannot be claimed, written or put in place

  private:
    std::string target_;
    std::string path_;
};

enum class Copied { Done, ReadFailed, WriteFailed, Stopped };

// Streams one navigator file into the zip, its checksum taken on the way; a failure's cause in
// `error`.
Copied backUpFile(const TaskContext& context, const DataFolder& folder, const DataFile& file,
                  ArchiveWriter& writer, BackupFile& listed, platform::OsError& error) {
    uLong crc = crc32(0, nullptr, 0);
    listed = {file.name, 0, 0, file.lastWriteTime};
    Copied failure = Copied::ReadFailed;
    if (!writer.beginEntry(kBackupEntryPrefix + file.name, file.lastWriteTime, file.size, true)) {
        error = writer.osError();
        return Copied::WriteFailed;
    }
    bool read = folder.tree().read(
        navigatorName(file.parkedAs.empty() ? file.name : file.parkedAs),
        [&](const char* data, size_t n) {
            if (context.control.checkpoint()) {
                failure = Copied::Stopped;
                return false;
            }
            listed.size += n;
            crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n));
            if (writer.writeEntry(data, n)) return true;
            failure = Copied::WriteFailed;
            return false;
        },
        &error);
    const bool ended = writer.endEntry();
    if (failure == Copied::WriteFailed || (!ended && read)) {
        error = writer.osError();
        return Copied::WriteFailed;
    }
    listed.crc = static_cast<uint32_t>(crc);
    return read ? Copied::Done : failure;
}

bool addManifest(ArchiveWriter& writer, const std::vector<BackupFile>& files) {
    std::string text = writeBackupManifest(files);
    return writer.beginEntry(kBackupManifestName, platform::clock().utcNow(), text.size()) &&
           writer.writeEntry(text.data(), text.size()) && writer.endEntry();
}

void failArchive(Seat& seat, BackupOutcome& outcome, std::string problem,
                 const platform::OsError& cause) {
    outcome.archiveFailed = true;
    failTask(seat, outcome, TaskStatus::TransferError, std::move(problem), cause);
}

// What the backup takes from the navigator; nothing when the data folder cannot be listed.
std::optional<std::vector<DataFile>> backupList(Seat& seat, const DataFolder& folder,
                                                BackupOutcome& outcome) {
    std::string problem;
    std::optional<std::vector<DataFile>> listed = folder.list(outcome.leftOut, problem);
    if (!listed) {
        failTask(seat, outcome, TaskStatus::TransferError, problem);
        return std::nullopt;
    }
    return restorable(folder, filesToBackUp(*listed, outcome.leftOut), outcome.leftOut);
}

void backUp(const TaskContext& context, const std::string& archivePath, BackupOutcome& outcome) {
    DataFolder folder(context);
    std::optional<std::vector<DataFile>> files = backupList(context.device.seat, folder, outcome);
    if (!files) return;
    PendingArchive archive(archivePath);
    const std::string shownPath = platform::ansiToUtf8(archivePath);
    if (!archive.isOpen())
        return failArchive(context.device.seat, outcome, "cannot write " + shownPath,
                           archive.error);
    std::vector<BackupFile> written;
    for (const DataFile& file : *files) {
        context.device.seat.postProgress(TaskKind::Backup, static_cast<int>(written.size()) + 1);
        BackupFile entry;
        platform::OsError error;
        Copied copied = context.control.checkpoint()
                            ? Copied::Stopped
                            : backUpFile(context, folder, file, archive.writer, entry, error);
        if (copied == Copied::Stopped) {
            outcome.stopped = true;
            return context.device.seat.postStatus(TaskStatus::Done);
        }
        if (copied == Copied::ReadFailed)
            return failTask(context.device.seat, outcome, TaskStatus::TransferError,
                            "cannot read " + file.name + " on the navigator", error);
        if (copied == Copied::WriteFailed)
            return failArchive(context.device.seat, outcome, "cannot write " + shownPath, error);
        outcome.bytes += entry.size;
        written.push_back(std::move(entry));
    }
    if (!addManifest(archive.writer, written))
        return failArchive(context.device.seat, outcome, "cannot write " + shownPath,
                           archive.writer.osError());
    if (!archive.commit())
        return failArchive(context.device.seat, outcome, "cannot write " + shownPath,
                           archive.error);
    outcome.files = written.size();
    outcome.finished = true;
    context.device.seat.postStatus(outcome.leftOut.empty() ? TaskStatus::Done
                                                           : TaskStatus::BackupIncomplete);
}

}  // namespace

void backupNavigator(const TaskContext& context, const std::string& archivePath,
                     BackupOutcome& outcome) {
    backUp(context, archivePath, outcome);
    logFailure(outcome, "backup to " + archivePath);
}

bool startBackup(NavigatorState& navigator, TaskState& tasks, std::string archivePath,
                 std::shared_ptr<BackupOutcome> outcome) {
    return startTaskJob(navigator, tasks,
                        [archivePath = std::move(archivePath), outcome](TaskContext& context) {
                            backupNavigator(context, archivePath, *outcome);
                        });
}

bool startRestore(NavigatorState& navigator, TaskState& tasks, std::string archivePath,
                  ReplaceQuestion replace, std::shared_ptr<BackupOutcome> outcome) {
    return startTaskJob(
        navigator, tasks,
        [archivePath = std::move(archivePath), replace = std::move(replace), outcome](
            TaskContext& context) { restoreNavigator(context, archivePath, replace, *outcome); });
}
