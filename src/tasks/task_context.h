#pragma once

#include <string>

#include "device/device_manager.h"
#include "tasks/task_runner.h"

// What a worker works with: the program's device state, the connection and upload path as they
// were when its task started (the window's thread may change them meanwhile), and its control.
struct TaskContext {
    DeviceManager& device;
    ConnectionMode mode;
    std::string dataRoot;
    std::string uploadPath;
    TaskControl control;
};
