#pragma once

#include <cstdint>

#include "platform/message_sink.h"

// The two notifications that reach the window from any thread. WM_TASK_STATUS carries a status
// code (0 to 12) that the window turns into a "kankan" message; WM_TASK_PROGRESS carries the task
// kind and the ordinal of the item being worked on, for "currentLushu".
inline constexpr uint32_t WM_TASK_STATUS = 2024;    // WM_USER + 1000
inline constexpr uint32_t WM_TASK_PROGRESS = 2025;  // WM_USER + 1001

enum class TaskKind : int { Import = 0, Delete = 1, Export = 2 };

inline void postTaskStatus(int code) {
    platform::postMessage(WM_TASK_STATUS, 0, code);
}

inline void postTaskProgress(TaskKind kind, int ordinal) {
    platform::postMessage(WM_TASK_PROGRESS, static_cast<uintptr_t>(kind), ordinal);
}
