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
    // What the layers above were doing, outermost first ("restore from b.zip: cannot write
    // x.trk"); ANSI, empty at the seam.
    std::string context;

    bool failed() const { return cause != OsCause::None; }
};

// The calling thread's last failure, read before anything else can overwrite it.
OsError lastOsError();
// The platform's code as a cause.
OsCause causeOf(unsigned long code);

// A layer's context, put before what the layers below said: "restore from b.zip" makes
// "restore from b.zip: cannot write x.trk: ...". Nothing for an error that did not fail.
void addContext(OsError& error, std::string_view context);

// "<context>: <operation> failed: <path>: <text> (<code>)", the context left out when empty.
std::string describe(const OsError& error);
// The one log line of a failure, written by the layer that ends the work: never the seam.
void logOsError(const OsError& error);

// The thread's last failure of `operation` on `path`, into *error for a caller that takes it;
// a caller that takes none has decided the cause does not matter to it. Nothing is logged here:
// whether a failure is a fault or an answer (a missing file to read) only the caller knows.
// Leaves the thread's last failure as it was for the caller to look at; false, for the caller
// to return.
bool failWithOsError(std::string_view operation, std::string_view path, OsError* error = nullptr);

}  // namespace platform
