#pragma once

#include <functional>
#include <string>
#include <string_view>

// The program's log: what went wrong where nobody was there to see it (a script error in the
// page, an update left alone, a failed file or network operation with its cause). Lines are ANSI
// text without a line break; each goes to standard error and, once the host has named one, to
// the log file.
namespace platform {

// Appends one line. Any thread.
void logLine(std::string_view text);

// The file lines are appended to as well; empty for none. The host names it at start-up.
void setLogFile(std::string path);

// Tests: lines go to the handler instead of standard error and the file; an empty one restores
// them.
using LogHandler = std::function<void(std::string_view line)>;
void setLogHandler(LogHandler handler);

}  // namespace platform
