#include "bridge/program_methods.h"

#include "device/link_watch.h"

int ProgramMethods::checkConnection() {
    return ::checkConnection(state_.device);
}

void ProgramMethods::restartDeviceLink() {
    restartRemoteLink(state_.device);
}

MethodOutcome ProgramMethods::run(const PageMethod& method, std::string text) {
    const Operation* operation = std::get_if<Operation>(&method.handler);
    return operation != nullptr ? (*operation)(state_, std::move(text)) : MethodOutcome{};
}
