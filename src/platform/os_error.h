#pragma once

#include <string>
#include <string_view>

// The cause of a failed file or process operation, as the operating system gave it, with what
// was being done and to what. The seam fills it in for the caller; the layer that ends the work
// (the task, the page method, the command) says it, once.
namespace platform {

// What the page and the scripts branch on, the same on every platform. The numbers travel to
// the page and must not change.
enum class OsCause : int {
    None = 0,
    Other = 1,
    NotFound = 2,      // no such file or folder, or a folder on the way is missing
    AccessDenied = 3,  // no permission, or a read-only file or medium
    DiskFull = 4,
    Exists = 5,  // a file or folder already stands at the name
    InUse = 6,   // another program holds the file
};

struct OsError {
    unsigned long code = 0;         // errno, or GetLastError()
    std::string text;               // strerror / FormatMessage, ANSI, without a line end
    OsCause cause = OsCause::None;  // None until something failed
    std::string operation;          // "open", "read", "write", "copy", ...
    std::string path;               // ANSI; "from -> to" for a copy or a move

    bool failed() const { return cause != OsCause::None; }
};

// The calling thread's last failure, read before anything else can overwrite it.
OsError lastOsError();
// The platform's code as a cause.
OsCause causeOf(unsigned long code);

// "<operation> failed: <path>: <text> (<code>)"
std::string describe(const OsError& error);
void logOsError(const OsError& error);

// The thread's last failure of `operation` on `path`: into *error for a caller that takes it,
// or else to the log. Leaves the thread's last failure as it was for the caller to look at;
// false, for the caller to return.
bool failWithOsError(std::string_view operation, std::string_view path, OsError* error = nullptr);
// The same for a failure that is an answer rather than a fault (a missing file to read): told to
// a caller that takes it, never logged.
bool answerWithOsError(std::string_view operation, std::string_view path, OsError* error);

}  // namespace platform
