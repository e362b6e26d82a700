#include "tasks/backup.h"

#include <zlib.h>

#include <map>

#include "common/task_status.h"
#include "device/device_files.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "tasks/archive.h"
#include "tasks/backup_files.h"
#include "tasks/backup_manifest.h"

namespace {

// The files a backup takes. A replacement that was cut off between its two moves left the
// file only under its parked name: it is backed up under its own. Other leftovers of
// replacements are not the navigator's files.
std::vector<DataFile> filesToBackUp(const std::vector<DataFile>& listed) {
    std::map<std::string, DataFile> byName;
    for (const DataFile& file : listed)
        if (!isReplacementName(file.name)) byName.emplace(file.name, file);
    const std::string parkedSuffix = kDeviceOldSuffix;
    for (const DataFile& file : listed) {
        if (!isReplacementName(file.name) || !file.name.ends_with(parkedSuffix)) continue;
        DataFile parked = file;
        parked.parkedAs = file.name;
        parked.name.resize(parked.name.size() - parkedSuffix.size());
        byName.emplace(parked.name, std::move(parked));  // never over the file itself
    }
    std::vector<DataFile> out;
    for (auto& [name, file] : byName)
        out.push_back(std::move(file));
    return out;
}

// The backup's zip, written under a name of its own beside the one asked for and put in its
// place only when whole; removed when it goes unfinished.
class PendingArchive {
  public:
    explicit PendingArchive(const std::string& target) : target_(target) {
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            std::string candidate = target + "." + std::to_string(i) + ".tmp";
            platform::File claim(candidate, platform::OpenMode::CreateNew);
            if (claim.isOpen()) path_ = candidate;
        }
        if (!path_.empty() && !writer.open(path_)) {
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
        if (!writer.close() || !platform::moveIntoPlace(path_, target_)) return false;
        path_.clear();
        return true;
    }

    ArchiveWriter writer;

  private:
    std::string target_;
    std::string path_;
};

enum class Copied { Done, ReadFailed, WriteFailed, Stopped };

// Streams one navigator file into the zip, its checksum taken on the way.
Copied backUpFile(const TaskContext& context, const DataFolder& folder, const DataFile& file,
                  ArchiveWriter& writer, BackupFile& listed) {
    uLong crc = crc32(0, nullptr, 0);
    listed = {file.name, 0, 0, file.lastWriteTime};
    Copied failure = Copied::ReadFailed;
    if (!writer.beginEntry(kBackupEntryPrefix + file.name, file.lastWriteTime, file.size))
        return Copied::WriteFailed;
    int read = readNavigatorFile(
        context.device.rapi, folder.pathOf(file.parkedAs.empty() ? file.name : file.parkedAs),
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
        });
    if (!writer.endEntry() && read) return Copied::WriteFailed;
    listed.crc = static_cast<uint32_t>(crc);
    return read ? Copied::Done : failure;
}

bool addManifest(ArchiveWriter& writer, const std::vector<BackupFile>& files) {
    std::string text = writeBackupManifest(files);
    return writer.beginEntry(kBackupManifestName, platform::clock().utcNow(), text.size()) &&
           writer.writeEntry(text.data(), text.size()) && writer.endEntry();
}

void failArchive(Seat& seat, BackupOutcome& outcome, std::string problem) {
    outcome.archiveFailed = true;
    failTask(seat, outcome, TaskStatus::TransferError, std::move(problem));
}

}  // namespace

void backupNavigator(const TaskContext& context, const std::string& archivePath,
                     BackupOutcome& outcome) {
    DataFolder folder(context);
    std::string problem;
    std::optional<std::vector<DataFile>> listed = folder.listFiles(problem);
    if (!listed) return failTask(context.device.seat, outcome, TaskStatus::TransferError, problem);
    PendingArchive archive(archivePath);
    if (!archive.isOpen())
        return failArchive(context.device.seat, outcome, "cannot write " + archivePath);
    std::vector<BackupFile> files;
    for (const DataFile& file : filesToBackUp(*listed)) {
        context.device.seat.postProgress(TaskKind::Backup, static_cast<int>(files.size()) + 1);
        BackupFile written;
        Copied copied = context.control.checkpoint()
                            ? Copied::Stopped
                            : backUpFile(context, folder, file, archive.writer, written);
        if (copied == Copied::Stopped) {
            outcome.stopped = true;
            return context.device.seat.postStatus(TaskStatus::Done);
        }
        if (copied == Copied::ReadFailed)
            return failTask(context.device.seat, outcome, TaskStatus::TransferError,
                            "cannot read " + file.name + " on the navigator");
        if (copied == Copied::WriteFailed)
            return failArchive(context.device.seat, outcome, "cannot write " + archivePath);
        outcome.bytes += written.size;
        files.push_back(std::move(written));
    }
    if (!addManifest(archive.writer, files) || !archive.commit())
        return failArchive(context.device.seat, outcome, "cannot write " + archivePath);
    outcome.files = files.size();
    outcome.finished = true;
    context.device.seat.postStatus(TaskStatus::Done);
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
