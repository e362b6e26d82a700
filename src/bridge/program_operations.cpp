#include "bridge/program_operations.h"

#include "ops/poi_operations.h"
#include "ops/route_book_list.h"
#include "ops/route_book_view.h"
#include "tasks/account_binding.h"
#include "tasks/task_runner.h"

int ProgramOperations::checkConnection() {
    return ::checkConnection(device_);
}

std::string ProgramOperations::connToPDA(const std::string& text) {
    return ::connToPDA(device_, text);
}

std::string ProgramOperations::getPdaAddr() {
    return ::getPdaAddr(device_);
}

std::string ProgramOperations::poiToPDA(const std::string& text) {
    return ::poiToPDA(device_, text);
}

std::string ProgramOperations::deleteSelectedPoi(const std::string& text) {
    return ::deleteSelectedPoi(device_, text);
}

std::string ProgramOperations::showRoadbook(const std::string& text) {
    return ::showRoadbook(device_, text);
}

std::string ProgramOperations::setUsername(const std::string& account) {
    return SetUsername(device_, account);
}

std::string ProgramOperations::importToPDA(std::string text) {
    return ::importToPDA(device_, std::move(text));
}

std::string ProgramOperations::deleteSelected(std::string text) {
    return ::deleteSelected(device_, std::move(text));
}

std::string ProgramOperations::exportFromPDA(std::string text) {
    return ::exportFromPDA(device_, std::move(text));
}

void ProgramOperations::pauseTask(const std::string& text) {
    PauseTask(device_, text);
}
