#pragma once

#include <string>
#include <string_view>

#include "common/task_status.h"
#include "ops/navigator_state.h"
#include "platform/os_error.h"
#include "tasks/task_runner.h"

// What a worker works with: the navigator's link and data, the connection and upload path as
// they were when its task started (the window's thread may change them meanwhile), and its
// control.
struct TaskContext {
    NavigatorState& device;
    ConnectionMode mode;
    std::string dataRoot;
    std::string uploadPath;
    TaskControl control;
};

// Ends a worker on a failure: the system's cause, if the failure had one, to the log once with
// what the worker was doing (ANSI, "install of x.zip"), and the status with that cause posted.
void failWorker(const TaskContext& context, TaskStatus status, platform::OsError error,
                std::string_view doing);
