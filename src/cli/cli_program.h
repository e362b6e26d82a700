#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/external_object.h"
#include "bridge/program_methods.h"
#include "bridge/settings_store.h"
#include "platform/http.h"
#include "platform/message_sink.h"
#include "session/device_manager.h"

namespace cli {

// Prints every window notification on standard error as the page call the window would make of
// it, one per line: kankan("..."), currentLushu("1","down").
class PageCallPrinter : public platform::MessageSink {
  public:
    explicit PageCallPrinter(bool ansi) : ansi_(ansi) {}
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  private:
    std::mutex mutex_;
    bool ansi_;
};

// One run of the program: one DeviceManager and the page's external object over it. Settings and
// text files live beside the executable, as the program's do.
class CliProgram {
  public:
    explicit CliProgram(bool ansi);
    ~CliProgram();

    // Makes one call as the page would; prints its result on one line (nothing for no value when
    // `lineAlways` is false). Returns the Invoke status.
    int32_t call(const std::string& method, const std::vector<std::string>& args, bool lineAlways);

    DeviceManager& device() { return device_; }
    // Returns when no task runs.
    void waitForTask();

  private:
    // Declared first: the network ends after the task thread (in device_) has finished.
    platform::NetworkSession network_;
    bool ansi_;
    PageCallPrinter printer_;
    DeviceManager device_;
    SettingsStore settings_;
    ProgramMethods methods_;
    ExternalObject external_;
};

// A command-line argument as a script value: "int:N", "num:X", "bool:true|false", "null:",
// "str:TEXT" (to pass a text that starts like a prefix), anything else a string. Text is UTF-8.
ScriptValue parseScriptArg(const std::string& arg);

// Splits a line into words with shell-like quoting ('...', "...", backslash escapes).
bool splitShellWords(const std::string& line, std::vector<std::string>& words);

}  // namespace cli
