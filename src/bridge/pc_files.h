#pragma once

#include <memory>
#include <optional>
#include <string>

#include "session/device_manager.h"
#include "tasks/backup.h"
#include "tasks/local_install.h"

// The program's own page methods for files on the PC: a route book package or a GPX file put on
// the navigator, a route book saved as GPX. The page never names a path: each method asks the
// user in the system's dialog (platform/file_dialog.h) and answers with the outcome, one element
// (ANSI):
//
//   <pcfile status="S" file="F" name="N" dropped="D">message</pcfile>
//
// S is "cancelled" (nothing chosen, nothing done), "started" (the installation runs as a task,
// with the import's progress, pause, stop and messages), "saved" (the file is written) or
// "refused" (nothing done; the message says why). F is the chosen file's name without its
// folder, N the route book's name, D the GPX track points the navigator cannot keep; the
// message is for the user: why it was refused, what was saved, or which points the navigator
// cannot keep.

// Why `name` (ANSI) cannot name a route book on the navigator (its characters, its length
// there), or nothing when it can; the list is read first when it has not been.
std::optional<std::string> routeBookNameProblem(DeviceManager& device, const std::string& name);
// Whether the navigator lists a route book that it takes for `name` (letter case aside).
bool routeBookListed(DeviceManager& device, const std::string& name);

// Installs a route book package (.zip) from the PC under `name`, or under the name of the route
// book inside the package when `name` is empty.
std::string installPackageFromPC(DeviceManager& device, const std::string& name);
// Puts a GPX file on the navigator as route book `name` (empty: the file's name): the route
// book vantu-cli import-gpx would package, installed from memory as a package's set is.
std::string installGpxFromPC(DeviceManager& device, const std::string& name);
// Why a GPX file the user chose (`file`, ANSI) gave no route book, for the user (UTF-8); nothing
// when it gave one.
std::optional<std::string> gpxRefusal(const GpxRouteBook& read, const std::string& file);
// What the user is told of `dropped` track points the navigator cannot keep (UTF-8), without
// what became of them.
std::string droppedPointsNote(size_t dropped);
// Saves the route book at list position `rbid` (a recorded track too) as GPX 1.1.
std::string saveGpxToPC(DeviceManager& device, const std::string& rbid);

// The last backup or restore the page started: its zip on the PC and what it did, which the
// worker fills in while it runs, and a restore's question to the page.
struct PcBackup {
    bool restore = false;
    std::string archive;  // ANSI
    std::shared_ptr<BackupOutcome> outcome;
    std::shared_ptr<SeatQuestion> question;
};

// Backs up the navigator into a zip the user chooses (`name`: the name offered, "" for the
// program's), as vantu-cli backup does.
std::string backupToPC(DeviceManager& device, PcBackup& last, const std::string& name);
// Restores a backup the user chooses: puts back what the navigator lacks and, when files differ
// from the backup, asks the page (askReplace) and waits before anything is written. The page
// reads them from backupOutcome and answers with `choice` "replace" or "keep" (kept too when the
// task is stopped meanwhile).
std::string restoreFromPC(DeviceManager& device, PcBackup& last, const std::string& choice);
// What the last backup or restore did, once its task has ended (while it runs, only the files
// its question is about):
//   <backup kind="backup|restore" state="finished|stopped|failed|running|none" file="F"
//    files="N" unchanged="U" replaced="R"><kept>NAME</kept>...<problem>TEXT</problem></backup>
// NAME: a file of the navigator's data folder that differs from the backup and was kept.
std::string backupOutcome(const DeviceManager& device, const PcBackup& last);
