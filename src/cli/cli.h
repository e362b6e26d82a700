#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/os_error.h"

// vantu-cli's commands. Each command file registers itself with a static CliCommand object.
namespace cli {

struct Command {
    const char* name;
    const char* usage;    // one line: "call [--ansi] METHOD [ARG...] [-- METHOD [ARG...]]..."
    const char* summary;  // one line
    const char* help;     // the full explanation with an example
    int (*run)(const std::vector<std::string>& args);  // args after the command name
};

struct CliCommand {
    explicit CliCommand(const Command& command);
};

const std::vector<Command>& commands();

// Exit statuses, one per kind of outcome. When several kinds happen in one run, the highest
// code is the exit status.
enum ExitCode : int {
    kExitOk = 0,       // every call and step succeeded
    kExitRefused = 1,  // a call answered S_FALSE (no value), e.g. no navigator connected
    kExitUsage = 2,    // bad command line: unknown command, method or option, wrong arguments
    kExitFailed = 3,   // the program reported a failure: a status other than 0, a refused
                       // argument, a route book that is not on the navigator
    kExitFile = 4,     // a local file could not be read, understood or written
    // a backup was saved without some of the navigator's files, which no restore could put
    // back (each named on standard error)
    kExitIncomplete = 5,
};

// How results and messages are printed.
struct Output {
    bool ansi = false;       // the exact ANSI (GBK) bytes instead of UTF-8
    bool pageCalls = false;  // messages as the page calls the window makes
    bool json = false;       // call results as JSON
    // Whether the system's dialog for a file is answered (else it is cancelled): by `files`
    // (UTF-8), in order, and after them by a line of standard input.
    // A save's answer without an extension gets the dialog's, as the dialog completes it; a file
    // at the completed name is replaced only with `replace`, since nobody here can be asked.
    bool answerDialogs = false;
    std::vector<std::string> files;
    bool replace = false;
};

// Terminal text (UTF-8) and the program's ANSI text.
std::string toAnsi(const std::string& utf8);
std::string toTerminal(const std::string& ansi);
// The program's ANSI text as printed: the bytes themselves with `ansi`, else UTF-8, where an
// XML declaration then names UTF-8 (only the declaration's encoding changes).
std::string forOutput(const std::string& ansi, bool ansiOut);
// "<message>: <the system's text>", or the message alone when nothing failed; the message is as
// printed, the system's text (ANSI) made so too.
std::string withCause(const std::string& message, const platform::OsError& error,
                      bool ansiOut = false);

// A local path given on the command line (UTF-8) as the program's ANSI path; nothing, with a
// message on standard error, when the system's code page cannot hold it: another file, whose
// name has '?' in place of the characters lost, would be read or written instead.
std::optional<std::string> localPath(const std::string& utf8, const char* command);

// The file name without folder and extension, as route books are named after their files.
std::string baseName(const std::string& path);

}  // namespace cli
