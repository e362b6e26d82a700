#pragma once

#include <string>

#include "ops/navigator_state.h"
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
