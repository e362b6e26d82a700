#include "bridge/program_methods.h"

#include "bridge/pc_files.h"
#include "device/link_watch.h"
#include "ops/poi_operations.h"
#include "ops/route_book_list.h"
#include "ops/route_book_view.h"
#include "platform/startup_marks.h"
#include "tasks/account_binding.h"
#include "tasks/task_runner.h"

int ProgramMethods::checkConnection() {
    return ::checkConnection(device_);
}

void ProgramMethods::restartDeviceLink() {
    restartRemoteLink(device_);
}

std::string ProgramMethods::connToPDA(const std::string& text) {
    std::string list = ::connToPDA(device_, text);
    platform::startupMark("first listing answered");
    return list;
}

std::string ProgramMethods::getPdaAddr() {
    return ::getPdaAddr(device_);
}

std::string ProgramMethods::poiToPDA(const std::string& text) {
    return ::poiToPDA(device_, text);
}

std::string ProgramMethods::deleteSelectedPoi(const std::string& text) {
    return ::deleteSelectedPoi(device_, text);
}

std::string ProgramMethods::showRoadbook(const std::string& text) {
    return ::showRoadbook(device_, text);
}

std::string ProgramMethods::setUsername(const std::string& account) {
    return SetUsername(device_, account);
}

std::string ProgramMethods::importToPDA(std::string text) {
    return ::importToPDA(device_, std::move(text));
}

std::string ProgramMethods::deleteSelected(std::string text) {
    return ::deleteSelected(device_, std::move(text));
}

std::string ProgramMethods::exportFromPDA(std::string text) {
    return ::exportFromPDA(device_, std::move(text));
}

void ProgramMethods::pauseTask(const std::string& text) {
    PauseTask(device_, text);
}

std::string ProgramMethods::installPackageFromPC(const std::string& name) {
    return ::installPackageFromPC(device_, name);
}

std::string ProgramMethods::installGpxFromPC(const std::string& name) {
    return ::installGpxFromPC(device_, name);
}

std::string ProgramMethods::saveGpxToPC(const std::string& rbid) {
    return ::saveGpxToPC(device_, rbid);
}

std::string ProgramMethods::backupToPC(const std::string& name) {
    return ::backupToPC(device_, lastBackup_, name);
}

std::string ProgramMethods::restoreFromPC(const std::string& choice) {
    return ::restoreFromPC(device_, lastBackup_, choice);
}

std::string ProgramMethods::backupOutcome() {
    return ::backupOutcome(device_, lastBackup_);
}
