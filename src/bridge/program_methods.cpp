#include "bridge/program_methods.h"

#include <string_view>

#include "device/link_watch.h"
#include "platform/startup_marks.h"

int ProgramMethods::checkConnection() {
    return ::checkConnection(state_.device);
}

void ProgramMethods::restartDeviceLink() {
    restartRemoteLink(state_.device);
}

MethodOutcome ProgramMethods::run(const PageMethod& method, std::string text) {
    const Operation* operation = std::get_if<Operation>(&method.handler);
    if (operation == nullptr) return {};
    MethodOutcome outcome = (*operation)(state_, std::move(text));
    // The window's start ends, for the page, with its first route book list answered.
    if (std::string_view(method.name) == "connToPDA")
        platform::startupMark("first listing answered");
    return outcome;
}
