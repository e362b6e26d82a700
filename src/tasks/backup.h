#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "tasks/task_context.h"

// A backup of the navigator's data into one zip on the PC, and its restore. Both run as the
// task of the task runner: one progress message per file (kinds Backup and Restore), pause,
// continue and stop as for every transfer, and a final status code (0 also after a stop).
//
// What is backed up is the navigator's data folder: the folder that holds the track folder
// (normally "userdata"), with everything in it at any depth. That is the route books and
// recorded tracks (track), the saved places (poi\address.poi), and the settings and other files
// the navigator keeps beside them, whose names and formats are its own.

// The data folder for a data root (the track folder with its trailing separator), ending with
// its separator; empty when the root has no parent.
std::string navigatorDataFolder(const std::string& dataRoot);

// Something of the navigator that a backup left out, and why (UTF-8).
struct LeftOut {
    std::string name;
    std::string why;
};

// What a backup or restore did, for whoever started it. The worker fills it; it is read once the
// task has ended. Names are the navigator's own, relative to the data folder, and they and the
// texts are UTF-8.
struct BackupOutcome {
    bool finished = false;  // ran to its end, with nothing refused or failed
    bool stopped = false;
    // Why it failed or was refused, empty otherwise.
    std::string problem;
    // The failure was the zip's on the PC: it cannot be written, read, or is refused.
    bool archiveFailed = false;
    // The system's cause of the failure, when a file or folder call failed (with the problem
    // and the task as its context). The task's end logs it, once.
    platform::OsError error;
    size_t files = 0;  // files written into the backup, or put back on the navigator
    uint64_t bytes = 0;
    size_t unchanged = 0;  // a restore's files the navigator already holds as backed up
    std::vector<std::string> replaced;
    std::vector<std::string> kept;  // files that differ and were left as they are
    // What a finished backup holds not: what no restore could put back (a name, depth or path
    // the navigator cannot hold, two names for one file) and what is no file (a link, FIFO,
    // device or socket on the drive).
    std::vector<LeftOut> leftOut;
};

// Asked once on the worker's thread, before anything is written, about the files that the
// navigator holds with other contents than the backup: true replaces them all, false keeps them.
using ReplaceQuestion = std::function<bool(const std::vector<std::string>& names)>;

// Writes every file of the data folder into the zip `archivePath` (replaced only when the backup
// is written to its end) with its manifest, each under the navigator's own name. The navigator
// is only read: no file is written there, no probe. What a restore could not put back is left
// out and named in the outcome, and the status is then 14 instead of 0. Posts 9 when a file
// cannot be listed, read or written into the zip.
void backupNavigator(const TaskContext& context, const std::string& archivePath,
                     BackupOutcome& outcome);
// Puts the files of the backup `archivePath` back into the data folder. First the leftovers of
// an earlier replacement that was cut off are made good; then the whole backup is checked
// against its manifest (13 and nothing changed when it fails), the files compared with the
// navigator's (`replace` decides over the ones that differ; without it they are kept), the
// backup refused (13) when a file would take a folder's place or a folder a file's, or would not
// fit the navigator's paths, the free space checked (6), and only then are the missing and
// replaced files written, each by a complete copy (9 when one fails). The route book list is
// read afresh afterwards.
void restoreNavigator(const TaskContext& context, const std::string& archivePath,
                      const ReplaceQuestion& replace, BackupOutcome& outcome);

// Start the two as the running task (false, with code 1 posted, while another runs). The
// outcome is shared with the caller, who reads it when the task has ended.
bool startBackup(NavigatorState& navigator, TaskState& tasks, std::string archivePath,
                 std::shared_ptr<BackupOutcome> outcome);
bool startRestore(NavigatorState& navigator, TaskState& tasks, std::string archivePath,
                  ReplaceQuestion replace, std::shared_ptr<BackupOutcome> outcome);
