#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/external_object.h"
#include "bridge/program_methods.h"
#include "bridge/settings_store.h"
#include "cli.h"
#include "common/seat.h"
#include "platform/http.h"
#include "session/device_manager.h"

namespace cli {

// The terminal's seat. Prints every task event on standard error, one per line: readable
// ("status 4: 下载路书失败，网络异常！", "item 1: import"), or with `pageCalls` as the page call
// the window makes of it (kankan("..."), currentLushu("1","down")). Remembers whether a status
// other than 0 came, which is a failure the script must hear of. Nobody answers a question
// (No); a file dialog is answered as Output says.
class TerminalSeat : public Seat {
  public:
    explicit TerminalSeat(const Output& output) : output_(output) {}
    void post(const TaskEvent& event) override;
    bool ask(const std::string&, const std::string&) override { return false; }
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) override;
    bool failureReported() const { return failure_.load(); }
    // A save's completed name was refused: the file there stays.
    bool dialogRefused() const { return dialogRefused_; }

  private:
    std::mutex mutex_;
    Output output_;
    size_t nextFile_ = 0;
    bool dialogRefused_ = false;
    std::atomic<bool> failure_{false};
};

// The program's operations, telling the terminal what the page is not told: that an operation
// refused its argument and did nothing (poiToPDA's text, deleteSelectedPoi's ids, a method for
// files on the PC), which the exit status then says.
class CliMethods : public ProgramMethods {
  public:
    explicit CliMethods(DeviceManager& device) : ProgramMethods(device) {}
    MethodOutcome run(const PageMethod& method, std::string text) override;
    bool argumentRefused() const { return refused_; }

  private:
    bool refused_ = false;
};

// One run of the program: one DeviceManager and the page's external object over it. Settings and
// text files live beside the executable, as the program's do.
class CliProgram {
  public:
    explicit CliProgram(const Output& output);

    // Whether METHOD is one of the page's methods; if not, says so on standard error.
    static bool knownMethod(const std::string& method);

    // Makes one call as the page would (arguments as on the command line) without printing its
    // result. Returns the Invoke status, noted for the exit status.
    int32_t invoke(const std::string& method, const std::vector<std::string>& args,
                   ScriptResult& result);
    // The same, printing the result on one line (nothing for no value unless `lineAlways`).
    int32_t call(const std::string& method, const std::vector<std::string>& args, bool lineAlways);

    DeviceManager& device() { return device_; }
    // Returns when no task runs.
    void waitForTask();
    // Notes an outcome for the exit status; the highest code noted wins.
    void note(int exitCode);
    // The exit status for everything so far.
    int exitCode() const;

  private:
    // Declared first: the network ends after the task thread (in device_) has finished.
    platform::NetworkSession network_;
    Output output_;
    TerminalSeat seat_;
    DeviceManager device_;
    SettingsStore settings_;
    CliMethods methods_;
    ExternalObject external_;
    int exitCode_ = kExitOk;
};

}  // namespace cli
