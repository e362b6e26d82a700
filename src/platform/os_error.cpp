#include "platform/os_error.h"

#include "platform/log.h"

namespace platform {

void addContext(OsError& error, std::string_view context) {
    if (!error.failed() || context.empty()) return;
    error.context =
        error.context.empty() ? std::string(context) : std::string(context) + ": " + error.context;
}

std::string describe(const OsError& error) {
    std::string line = error.context.empty() ? std::string() : error.context + ": ";
    line += error.operation;
    line += " failed: ";
    line += error.path;
    line += ": ";
    line += error.text;
    line += " (" + std::to_string(error.code) + ")";
    return line;
}

void logOsError(const OsError& error) {
    logLine(describe(error));
}

}  // namespace platform
