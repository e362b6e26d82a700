#include "platform/os_error.h"

#include "platform/log.h"

namespace platform {

void logOsError(std::string_view operation, std::string_view path, const OsError& error) {
    std::string line(operation);
    line += " failed: ";
    line += path;
    line += ": ";
    line += error.text;
    line += " (" + std::to_string(error.code) + ")";
    logLine(line);
}

}  // namespace platform
