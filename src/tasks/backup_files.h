#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/task_status.h"
#include "device/navigator_tree.h"
#include "platform/files.h"
#include "tasks/backup.h"
#include "tasks/task_context.h"

// The navigator's data folder as a backup and a restore see it: reached over the remote API or
// on the navigator's drive, with entries named by the navigator's own names relative to it, in
// UTF-8 with "\" between folders.

struct DataFile {
    std::string name;
    platform::EntryKind kind = platform::EntryKind::File;
    uint64_t size = 0;
    platform::FileTime lastWriteTime = 0;
    // Where the file lies, when it is not under its name (a file parked by a replacement).
    std::string parkedAs;
};

class DataFolder {
  public:
    explicit DataFolder(const TaskContext& context);

    // False when the task has no data root with a parent folder.
    bool known() const { return tree_ != nullptr; }
    const NavigatorTree& tree() const { return *tree_; }
    // Every file, folder and other entry (a link, FIFO, device or socket on a drive) at any
    // depth, sorted by name. What no name can reach is passed over into `passed`: folders
    // deeper than a navigator's, and names with no exact UTF-16 form. Nothing, with `problem`
    // saying why, when a folder cannot be listed.
    std::optional<std::vector<DataFile>> list(std::vector<LeftOut>& passed,
                                              std::string& problem) const;
    // Makes the folders above the file `name` that are missing; false when one cannot be made.
    bool makeFoldersFor(const std::string& name, platform::OsError* error = nullptr);
    // Removes the folders makeFoldersFor made, where they are still empty.
    void removeMadeFolders();
    // The free bytes where the folder lies, when the system tells.
    std::optional<uint64_t> freeBytes() const;
    // Whether the path of `name` with a replacement's suffix fits in the navigator's paths.
    bool fits(const std::string& name) const;

  private:
    bool listInto(const std::u16string& folder, size_t depth, std::vector<DataFile>& out,
                  std::vector<LeftOut>& passed, std::string& problem) const;

    const TaskContext& context_;
    std::string folder_;  // ANSI
    std::unique_ptr<NavigatorTree> tree_;
    std::set<std::u16string> known_;    // folders that are there
    std::vector<std::u16string> made_;  // those of them made here, in order
};

// The UTF-16 form of a data folder's name.
std::u16string navigatorName(const std::string& name);

// Posts the status of a failure, with the system's cause when there is one, and says in the
// outcome why it happened.
void failTask(Seat& seat, BackupOutcome& outcome, TaskStatus status, std::string problem,
              const platform::OsError& cause = {});
// At the task's end: the system's cause of its failure, if any, to the log with what the task
// was (ANSI, "restore from b.zip").
void logFailure(BackupOutcome& outcome, const std::string& task);
