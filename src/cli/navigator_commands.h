#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "cli_program.h"
#include "options.h"
#include "tasks/task_context.h"

// What the commands that move route books between the PC and the navigator share.
namespace cli {

// A new, empty folder of the terminal's own inside the run's private folder, removed with
// everything in it when the object goes (and, should the program be killed, by the next run).
class StagingFolder {
  public:
    StagingFolder();
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// What a task's routines need, for work done here on the main thread.
struct LocalTask {
    std::atomic<int> stop{0};
    PauseGate gate;
    TaskContext context(DeviceManager& device, const std::string& dataRoot) {
        return TaskContext{device, device.mode, dataRoot, device.uploadPath,
                           TaskControl(stop, gate)};
    }
};

// The options of the commands that reach the navigator, before their arguments: --ansi,
// --page-calls and the command's own. False, said on standard error, for an unknown option.
bool takeOptions(const std::vector<std::string>& args, Output& output, const char* command,
                 std::vector<Option> own, ParsedOptions& parsed);

// The file name of the listed route book titled or named `wanted` (ANSI); with `anyCase`, also
// one whose file name differs only in letter case, which the navigator takes for the same file.
std::optional<std::string> listedFileName(DeviceManager& device, const std::string& wanted,
                                          bool anyCase = false);

// Whether `name` (UTF-8) may name a route book that install puts on the navigator; says why
// not on standard error, with `hint` after the rule. The import's item text turns "&" into "%"
// for its parser and never back in the name, so a package made under such a name could not be
// installed.
bool takesRouteBookName(const std::string& name, const std::string& folder, const char* command,
                        const char* hint);

// Lists the navigator's route books as the page does (connToPDA "r", behind the device gate);
// false, said on standard error, when no navigator is connected.
bool listRouteBooks(CliProgram& program, const char* command);

// Lists the navigator's route books and finds the one titled or named `name`. Says what went
// wrong on standard error.
std::optional<std::string> findRouteBook(CliProgram& program, const std::string& name,
                                         const char* command);

// Copies the route book's set from the navigator into `folder` with the export's routine;
// its failures are posted as status codes.
bool fetchRouteBook(CliProgram& program, const std::string& folder, const std::string& name);

// Copies `from` over the file `out` (ANSI; `outUtf8` as given) by a complete copy; says on
// standard error when it cannot.
bool writeOut(const std::string& from, const std::string& out, const std::string& outUtf8,
              const char* command);

}  // namespace cli
