#pragma once

#include <cstdint>

#include "platform/message_sink.h"

// The notifications that reach the window from any thread. WM_TASK_STATUS carries a status
// code that the window turns into a "kankan" message; WM_TASK_PROGRESS carries the task kind and
// the ordinal of the item being worked on, for "currentLushu"; WM_DEVICE_LINK says that the
// navigator's remote link came up, for a connection check and "PDALink".
inline constexpr uint32_t WM_TASK_STATUS = 2024;    // WM_USER + 1000
inline constexpr uint32_t WM_TASK_PROGRESS = 2025;  // WM_USER + 1001
inline constexpr uint32_t WM_DEVICE_LINK = 2028;    // WM_USER + 1004

// The codes of WM_TASK_STATUS. The numbers travel to the page and must not change; the page's
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
const char* taskStatusText(intptr_t code);

// Backup and Restore are the program's own: the portal's page knows no action word for them.
enum class TaskKind : int { Import = 0, Delete = 1, Export = 2, Backup = 3, Restore = 4 };

inline void postTaskStatus(TaskStatus status) {
    platform::postMessage(WM_TASK_STATUS, 0, static_cast<intptr_t>(status));
}

inline void postTaskProgress(TaskKind kind, int ordinal) {
    platform::postMessage(WM_TASK_PROGRESS, static_cast<uintptr_t>(kind), ordinal);
}
