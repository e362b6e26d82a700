#include "bridge/program_operations.h"

#include "device/device_connection.h"
#include "tasks/account_binding.h"
#include "tasks/task_runner.h"

int ProgramOperations::checkConnection() {
    return ::checkConnection(device_);
}

std::string ProgramOperations::setUsername(const std::string& account) {
    return SetUsername(device_, account);
}

void ProgramOperations::pauseTask(const std::string& text) {
    PauseTask(device_, text);
}
