#include "platform/os_error.h"

#include "platform/log.h"

namespace platform {

std::string describe(const OsError& error) {
    std::string line(error.operation);
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

bool answerWithOsError(std::string_view operation, std::string_view path, OsError* error) {
    return error ? failWithOsError(operation, path, error) : false;
}

}  // namespace platform
