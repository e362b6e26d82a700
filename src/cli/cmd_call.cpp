#include <cstdlib>
#include <iostream>
#include <string>

#include "app/page_messages.h"
#include "cli.h"
#include "cli_program.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "tasks/http_transfer.h"

namespace cli {

void PageCallPrinter::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto call = pageCallForMessage(message, wParam, lParam);
    if (!call) return;
    std::string line = formatPageCall(*call);
    if (ansi_) line = platform::utf8ToAnsi(line);
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

CliProgram::CliProgram(bool ansi)
    : ansi_(ansi),
      printer_(ansi),
      settings_(SettingsStore::folderFor(platform::programFolder())),
      methods_(device_),
      external_(settings_, methods_) {
    platform::setMessageSink(&printer_);
}

void CliProgram::waitForTask() {
    while (!device_.taskThread.waitIdle(std::chrono::hours(1))) {
    }
}

CliProgram::~CliProgram() {
    platform::setMessageSink(nullptr);
}

int32_t CliProgram::call(const std::string& method, const std::vector<std::string>& args,
                         bool lineAlways) {
    std::vector<ScriptValue> values;
    for (const std::string& arg : args)
        values.push_back(parseScriptArg(arg));
    ScriptResult result;
    int32_t status = external_.call(platform::ansiToUtf16(toAnsi(method)), values, &result);
    switch (result.type) {
        case ScriptResult::Type::String: {
            std::string ansi = platform::utf16ToAnsi(result.text);
            std::string out = ansi_ ? ansi : platform::ansiToUtf8(ansi);
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fputc('\n', stdout);
            break;
        }
        case ScriptResult::Type::BoolTrue:
            std::fputs("true\n", stdout);
            break;
        case ScriptResult::Type::None:
            if (lineAlways) std::fputc('\n', stdout);
            break;
    }
    std::fflush(stdout);
    return status;
}

ScriptValue parseScriptArg(const std::string& arg) {
    auto text = [](const std::string& utf8) {
        return ScriptValue::string(platform::ansiToUtf16(platform::utf8ToAnsi(utf8)));
    };
    if (arg.rfind("str:", 0) == 0) return text(arg.substr(4));
    if (arg.rfind("int:", 0) == 0)
        return ScriptValue::int32(static_cast<int32_t>(std::strtol(arg.c_str() + 4, nullptr, 10)));
    if (arg.rfind("num:", 0) == 0) return ScriptValue::real(std::strtod(arg.c_str() + 4, nullptr));
    if (arg == "bool:true") return ScriptValue::boolValue(true);
    if (arg == "bool:false") return ScriptValue::boolValue(false);
    if (arg == "null:") return ScriptValue::null();
    return text(arg);
}

bool splitShellWords(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                word += c;
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < line.size() &&
                       (line[i + 1] == '"' || line[i + 1] == '\\' || line[i + 1] == '$')) {
                word += line[++i];
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) return false;
    if (inWord) words.push_back(word);
    return true;
}

namespace {

// The options before the first METHOD: --ansi, and --routebook-server HOST[:PORT], which
// replaces the built-in route book server (a test server, a staging server). False for an
// option without its value.
bool takeOptions(std::vector<std::string>& args, bool& ansi) {
    ansi = false;
    while (!args.empty()) {
        if (args[0] == "--ansi") {
            ansi = true;
            args.erase(args.begin());
        } else if (args[0] == "--routebook-server") {
            if (args.size() < 2) return false;
            setRouteBookServer(args[1]);
            args.erase(args.begin(), args.begin() + 2);
        } else {
            break;
        }
    }
    return true;
}

int runCall(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    bool ansi = false;
    if (!takeOptions(args, ansi)) {
        std::fprintf(stderr, "vantu-cli call: --routebook-server needs HOST[:PORT]\n");
        return 2;
    }
    // Calls separated by "--", made in order in this one process.
    std::vector<std::vector<std::string>> calls(1);
    for (const auto& a : args) {
        if (a == "--")
            calls.emplace_back();
        else
            calls.back().push_back(a);
    }
    for (const auto& c : calls) {
        if (c.empty()) {
            std::fprintf(stderr,
                         "vantu-cli call: a METHOD is missing (see vantu-cli call --help)\n");
            return 2;
        }
    }
    CliProgram program(ansi);
    int exitCode = 0;
    bool several = calls.size() > 1;
    for (const auto& c : calls) {
        std::vector<std::string> callArgs(c.begin() + 1, c.end());
        if (program.call(c[0], callArgs, several) == ExternalObject::kStatusFalse) exitCode = 1;
        // A task's page calls come while it runs; the next call sees what it did.
        program.waitForTask();
    }
    return exitCode;
}

int runShell(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    bool ansi = false;
    if (!takeOptions(args, ansi)) {
        std::fprintf(stderr, "vantu-cli shell: --routebook-server needs HOST[:PORT]\n");
        return 2;
    }
    CliProgram program(ansi);
    int exitCode = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::vector<std::string> words;
        if (!splitShellWords(line, words)) {
            std::fprintf(stderr, "vantu-cli shell: unterminated quote\n");
            std::fputc('\n', stdout);
            std::fflush(stdout);
            exitCode = 1;
            continue;
        }
        if (words.empty() || words[0][0] == '#') continue;
        std::vector<std::string> callArgs(words.begin() + 1, words.end());
        if (program.call(words[0], callArgs, true) == ExternalObject::kStatusFalse) exitCode = 1;
    }
    program.waitForTask();
    return exitCode;
}

const CliCommand kCall({
    "call",
    "call [--ansi] [--routebook-server HOST[:PORT]] METHOD [ARG...] [-- METHOD [ARG...]]...",
    "call the page's methods, as the portal page calls them",
    "Calls METHOD through the same external object as the page and prints its result on one\n"
    "line: the text (UTF-8, or with --ansi the exact ANSI bytes the page's string was made from),\n"
    "'true' for the boolean true, nothing when the call gave no value. Several calls separated\n"
    "by '--' run in order in one process (one run of the program, so the route book list that\n"
    "connToPDA builds serves the calls after it); each then prints exactly one line, an empty\n"
    "one for no value. A call that starts a task (importToPDA, deleteSelected, exportFromPDA)\n"
    "is waited for before the next call and the end; page calls the program makes meanwhile\n"
    "(kankan, currentLushu) are printed on standard error, in order. The exit status is 1 when\n"
    "a call answered S_FALSE (no value, for example a device method without a navigator),\n"
    "else 0. --routebook-server sends exportFromPDA's uploads to HOST (port 80 by default)\n"
    "instead of the route book server the program was built with.\n\n"
    "ARG is a string, or typed: int:N (32-bit integer), num:X (double), bool:true, bool:false,\n"
    "null: (null), str:TEXT (a string that would otherwise look typed).\n\n"
    "Examples:\n"
    "  vantu-cli call writeValue k int:-5\n"
    "  vantu-cli call getValue k                      # prints -5\n"
    "  vantu-cli call connToPDA r -- showRoadbook 0\n"
    "  vantu-cli call importToPDA '<rb><url>http://host/a.zip</url><name>Day1</name></rb>'\n",
    runCall,
});

const CliCommand kShell({
    "shell",
    "shell [--ansi] [--routebook-server HOST[:PORT]]",
    "read calls from standard input, one per line",
    "Reads calls from standard input, one per line: the method and its arguments separated by\n"
    "spaces, with shell-like quoting ('...', \"...\", backslash). Arguments take the same typed\n"
    "forms as with 'call'. Each call prints exactly one line; lines starting with # are\n"
    "skipped. All calls run in one process, as one run of the program. A task runs on while\n"
    "the next lines are read, as it does for the page (so PauseTask can reach it); the end of\n"
    "the input waits for it.\n\n"
    "Example:\n"
    "  printf 'connToPDA r\\nshowRoadbook 0\\n' | vantu-cli shell\n",
    runShell,
});

}  // namespace
}  // namespace cli
