#pragma once

// The codes of a task's status (TaskEvent, common/seat.h), which the window turns into a
// "kankan" message. The numbers travel to the page and must not change; the page's
// message for each is taskStatusText().
enum class TaskStatus : int {
    Done = 0,
    Busy = 1,
    UnknownError = 2,
    NoNavigator = 3,
    DownloadFailed = 4,
    UploadFailed = 5,
    NoSpace = 6,
    DownloadTooLarge = 7,
    UploadTooLarge = 8,
    TransferError = 9,
    UnpackFailed = 10,
    RemoveFailed = 11,
    RouteBookUnreadable = 12,
    // The program's own, for its backups.
    RestoreRefused = 13,    // the backup cannot be restored; nothing was changed
    BackupIncomplete = 14,  // saved, but without what no restore could put back
};

// The page's message for a code in UTF-8 (" " for Done, which clears the message), or null for
// the codes that call "kankan" without an argument (6, 11 and any unknown code).
const char* taskStatusText(int code);

// Backup and Restore are the program's own: the portal's page knows no action word for them.
enum class TaskKind : int { Import = 0, Delete = 1, Export = 2, Backup = 3, Restore = 4 };
