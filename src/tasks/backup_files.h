#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/task_status.h"
#include "device/device_files.h"
#include "platform/files.h"
#include "tasks/backup.h"
#include "tasks/task_context.h"

// The navigator's data folder as a backup and a restore see it: reached over the remote API or
// on the navigator's drive, with files named relative to it ("\" between folders).

struct DataFile {
    std::string name;
    uint64_t size = 0;
    platform::FileTime lastWriteTime = 0;
    // Where the file lies, when it is not under its name (a file parked by a replacement).
    std::string parkedAs;
};

class DataFolder {
  public:
    explicit DataFolder(const TaskContext& context);

    // False when the task has no data root with a parent folder.
    bool known() const { return !folder_.empty(); }
    // The navigator's path of the file `name`.
    std::string pathOf(const std::string& name) const;
    // Every file at any depth, sorted by name; nothing, with `problem` saying why, when a folder
    // cannot be listed or folders nest deeper than any navigator's.
    std::optional<std::vector<DataFile>> listFiles(std::string& problem) const;
    // Makes the folders above the file `name` that are missing; false when one cannot be made.
    bool makeFoldersFor(const std::string& name);
    // Removes the folders makeFoldersFor made, where they are still empty.
    void removeMadeFolders();
    // The free bytes where the folder lies, when the system tells.
    std::optional<uint64_t> freeBytes() const;
    // Whether the path of `name` with a replacement's suffix fits in the navigator's paths.
    bool fits(const std::string& name) const;

  private:
    bool listInto(const std::string& folder, const std::string& prefix, int depth,
                  std::vector<DataFile>& out, std::string& problem) const;

    const TaskContext& context_;
    bool device_;
    NavigatorFiles files_;
    std::string folder_;
    std::set<std::string> known_;    // folders that are there
    std::vector<std::string> made_;  // those of them made here, in order
};

// Posts the status of a failure and says in the outcome why it happened.
void failTask(Seat& seat, BackupOutcome& outcome, TaskStatus status, std::string problem);
