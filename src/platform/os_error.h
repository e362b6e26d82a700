#pragma once

#include <string>
#include <string_view>

// The cause of a failed file or process operation, as the operating system gave it.
namespace platform {

struct OsError {
    unsigned long code = 0;  // errno, or GetLastError()
    std::string text;        // strerror / FormatMessage, ANSI, without a line end
};

// The calling thread's last failure, read before anything else can overwrite it.
OsError lastOsError();

// Logs "<operation> failed: <path>: <text> (<code>)".
void logOsError(std::string_view operation, std::string_view path, const OsError& error);

// logOsError with the thread's last failure, which it leaves as it was for the caller to look
// at; false, for the caller to return.
bool failWithOsError(std::string_view operation, std::string_view path);

}  // namespace platform
