#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "app/page_messages.h"
#include "bridge/page_method_table.h"
#include "cli.h"
#include "cli_program.h"
#include "common/task_status.h"
#include "ops/poi_operations.h"
#include "options.h"
#include "platform/codepage.h"
#include "platform/file_dialog.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"
#include "tasks/http_transfer.h"

namespace cli {

namespace {

// Texts for the codes that the page gets without one.
const char* ownStatusText(intptr_t code) {
    switch (code) {
        case 0:
            return "finished";
        case 6:
            return "not enough free space (five times the package's unpacked size is needed)";
        case 11:
            return "removing the route book from the navigator failed";
        default:
            return nullptr;
    }
}

const char* taskWord(uintptr_t kind) {
    switch (kind) {
        case 0:
            return "import";
        case 1:
            return "delete";
        case 2:
            return "export";
        case 3:
            return "backup";
        case 4:
            return "restore";
        default:
            return "task";
    }
}

}  // namespace

void MessagePrinter::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto call = pageCallForMessage(message, wParam, lParam);
    if (!call) return;
    if (message == WM_TASK_STATUS && lParam != 0) failure_.store(true);
    std::string line;  // UTF-8
    if (output_.pageCalls) {
        line = formatPageCall(*call);
    } else if (message == WM_TASK_STATUS) {
        line = "status " + std::to_string(lParam);
        std::optional<std::string> text = lParam == 0 ? std::nullopt : statusText(lParam);
        if (text)
            line += ": " + platform::ansiToUtf8(*text);
        else if (const char* own = ownStatusText(lParam))
            line += std::string(": ") + own;
    } else {
        line = "item " + std::to_string(lParam) + ": " + taskWord(wParam);
    }
    if (output_.ansi) line = platform::utf8ToAnsi(line);
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::string CliMethods::poiToPDA(const std::string& text) {
    int result = 1;
    std::string answer = ::poiToPDA(device_, text, &result);
    if (result < 0) {
        refused_ = true;
        std::fprintf(stderr,
                     "vantu-cli: poiToPDA refused its text (not well-formed XML); no place was "
                     "added\n");
    }
    return answer;
}

std::string CliMethods::deleteSelectedPoi(const std::string& text) {
    int result = 1;
    std::string answer = ::deleteSelectedPoi(device_, text, &result);
    if (result < 0) {
        refused_ = true;
        std::fprintf(stderr,
                     "vantu-cli: deleteSelectedPoi refused its ids (negative, out of range or "
                     "repeated); no place was removed\n");
    }
    return answer;
}

std::string CliMethods::noted(std::string answer) {
    // The page reads the refusal's message; a script hears of it by the exit status.
    if (answer.find("status=\"refused\"") != std::string::npos) refused_ = true;
    return answer;
}

std::string CliMethods::installPackageFromPC(const std::string& name) {
    return noted(ProgramMethods::installPackageFromPC(name));
}

std::string CliMethods::installGpxFromPC(const std::string& name) {
    return noted(ProgramMethods::installGpxFromPC(name));
}

std::string CliMethods::saveGpxToPC(const std::string& rbid) {
    return noted(ProgramMethods::saveGpxToPC(rbid));
}

std::string CliMethods::backupToPC(const std::string& name) {
    return noted(ProgramMethods::backupToPC(name));
}

std::string CliMethods::restoreFromPC(const std::string& choice) {
    return noted(ProgramMethods::restoreFromPC(choice));
}

CliProgram::CliProgram(const Output& output)
    : output_(output),
      printer_(output),
      settings_(SettingsStore::folderFor(platform::programFolder())),
      methods_(device_),
      external_(settings_, methods_) {
    platform::setMessageSink(&printer_);
}

CliProgram::~CliProgram() {
    platform::setMessageSink(nullptr);
}

void CliProgram::waitForTask() {
    while (!device_.taskThread.waitIdle(std::chrono::hours(1))) {
    }
}

void CliProgram::note(int exitCode) {
    exitCode_ = std::max(exitCode_, exitCode);
}

int CliProgram::exitCode() const {
    int code = exitCode_;
    if (printer_.failureReported() || methods_.argumentRefused())
        code = std::max<int>(code, kExitFailed);
    return code;
}

bool CliProgram::knownMethod(const std::string& method) {
    if (findPageMethod(method)) return true;
    std::fprintf(stderr,
                 "vantu-cli: unknown method '%s' (names are case-sensitive; 'vantu-cli methods' "
                 "lists them)\n",
                 method.c_str());
    return false;
}

int32_t CliProgram::invoke(const std::string& method, const std::vector<std::string>& args,
                           ScriptResult& result) {
    std::vector<ScriptValue> values;
    for (const std::string& arg : args)
        values.push_back(parseScriptArg(arg));
    int32_t status = external_.call(platform::ansiToUtf16(toAnsi(method)), values, &result);
    if (status == ExternalObject::kStatusFalse) note(kExitRefused);
    return status;
}

int32_t CliProgram::call(const std::string& method, const std::vector<std::string>& args,
                         bool lineAlways) {
    ScriptResult result;
    int32_t status = invoke(method, args, result);
    std::string out;
    bool line = true;
    switch (result.type) {
        case ScriptResult::Type::String: {
            std::string ansi = platform::utf16ToAnsi(result.text);
            if (output_.json) {
                std::string refusal;
                std::optional<std::string> json = documentToJson(ansi, &refusal);
                if (!refusal.empty())
                    std::fprintf(stderr,
                                 "vantu-cli: the document %s answered is printed as a string, "
                                 "not as JSON (%s)\n",
                                 method.c_str(), refusal.c_str());
                out = json ? *json : jsonString(platform::ansiToUtf8(ansi));
            } else {
                out = forOutput(ansi, output_.ansi);
            }
            break;
        }
        case ScriptResult::Type::BoolTrue:
            out = "true";
            break;
        case ScriptResult::Type::None:
            if (output_.json)
                out = "null";
            else
                line = lineAlways;
            break;
    }
    if (line) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fputc('\n', stdout);
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

// What the system's dialog asks for a file is answered on a terminal: by the paths given with
// --file, in order, and after them by a line of standard input (an empty line or its end
// cancels). UTF-8 paths; a path the ANSI code page cannot hold is refused as the dialog would.
void answerDialogs(std::vector<std::string> files) {
    platform::setFileDialogHandler([files = std::move(files), next = size_t{0}](
                                       const platform::FileDialogRequest& request) mutable {
        std::string path;
        if (next < files.size()) {
            path = files[next++];
        } else {
            std::fprintf(stderr, "%s (%s, *.%s): ", platform::ansiToUtf8(request.title).c_str(),
                         platform::ansiToUtf8(request.filterName).c_str(),
                         request.extension.c_str());
            std::fflush(stderr);
            if (!std::getline(std::cin, path)) path.clear();
        }
        return platform::chosenPath(utf8::toUtf16(path));
    });
}

// The options before the first METHOD: --ansi, --page-calls, --json, --file PATH (a dialog's
// answer), and --routebook-server HOST[:PORT], which replaces the built-in route book server (a
// test server, a staging server). False for an option without its value.
bool takeOptions(std::vector<std::string>& args, Output& output) {
    std::vector<std::string> files;
    std::optional<std::string> server;
    ParsedOptions parsed = parseOptions(args,
                                        {{"--ansi", &output.ansi},
                                         {"--page-calls", &output.pageCalls},
                                         {"--json", &output.json},
                                         {"--file", &files},
                                         {"--routebook-server", &server}},
                                        {.leadingOnly = true, .unknownIsArgument = true});
    if (!parsed.ok()) return false;
    if (server) setRouteBookServer(server);
    args = std::move(parsed.arguments);
    answerDialogs(std::move(files));
    return true;
}

int runCall(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    Output output;
    if (!takeOptions(args, output)) {
        std::fprintf(stderr, "vantu-cli call: --routebook-server and --file need their value\n");
        return kExitUsage;
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
            return kExitUsage;
        }
        // Nothing runs when one of the calls could not be made.
        if (!CliProgram::knownMethod(c[0])) return kExitUsage;
    }
    CliProgram program(output);
    bool several = calls.size() > 1;
    for (const auto& c : calls) {
        std::vector<std::string> callArgs(c.begin() + 1, c.end());
        program.call(c[0], callArgs, several);
        // A task's page calls come while it runs; the next call sees what it did.
        program.waitForTask();
    }
    return program.exitCode();
}

int runShell(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    Output output;
    if (!takeOptions(args, output)) {
        std::fprintf(stderr, "vantu-cli shell: --routebook-server and --file need their value\n");
        return kExitUsage;
    }
    CliProgram program(output);
    std::string line;
    while (std::getline(std::cin, line)) {
        std::vector<std::string> words;
        if (!splitShellWords(line, words)) {
            std::fprintf(stderr, "vantu-cli shell: unterminated quote\n");
            std::fputc('\n', stdout);
            std::fflush(stdout);
            program.note(kExitUsage);
            continue;
        }
        if (words.empty() || words[0][0] == '#') continue;
        if (!CliProgram::knownMethod(words[0])) {
            std::puts(output.json ? "null" : "");
            std::fflush(stdout);
            program.note(kExitUsage);
            continue;
        }
        std::vector<std::string> callArgs(words.begin() + 1, words.end());
        program.call(words[0], callArgs, true);
    }
    program.waitForTask();
    return program.exitCode();
}

const char* const kCallOptions =
    "Options: --ansi prints the exact ANSI (GBK) bytes the page's strings were made from (and\n"
    "the messages in GBK); without it everything is UTF-8 and an XML declaration says UTF-8.\n"
    "--json prints each result as JSON: the route book list, the places and a route book as\n"
    "objects (coordinates in 0.00001 degree, as the documents carry them), any other text as a\n"
    "string, true, or null for no value. --page-calls prints the messages as the page calls\n"
    "the window makes (kankan(\"...\"), currentLushu(\"1\",\"down\")) instead of readable lines\n"
    "(status 4: ..., item 1: import). --routebook-server sends exportFromPDA's uploads to HOST\n"
    "(port 80 by default) instead of the route book server the program was built with.\n"
    "--file PATH answers the file dialog of installPackageFromPC, installGpxFromPC,\n"
    "saveGpxToPC, backupToPC or restoreFromPC (one --file per dialog, in order); without it the\n"
    "dialog's question is asked on standard error and answered by a line of standard input\n"
    "(an empty line cancels).\n\n"
    "ARG is a string, or typed: int:N (32-bit integer), num:X (double), bool:true, bool:false,\n"
    "null: (null), str:TEXT (a string that would otherwise look typed).\n\n"
    "Exit status: 0 when every call succeeded; 1 when a call answered S_FALSE (no value, for\n"
    "example a navigator method without a navigator); 2 for an unknown method (nothing runs);\n"
    "3 when the program reported a failure (a status other than 0, or poiToPDA or\n"
    "deleteSelectedPoi refusing its argument).\n\n";

std::string callHelp() {
    return std::string(
               "Calls METHOD through the same external object as the page and prints its result "
               "on one\nline: the text, 'true' for the boolean true, nothing when the call gave "
               "no value. Several\ncalls separated by '--' run in order in one process (one run "
               "of the program, so the\nroute book list that connToPDA builds serves the calls "
               "after it); each then prints\nexactly one line, an empty one for no value. A call "
               "that starts a task (importToPDA,\ndeleteSelected, exportFromPDA) is waited for "
               "before the next call and the end; the\nprogram's messages meanwhile are printed "
               "on standard error, in order.\n\n") +
           kCallOptions +
           "Examples:\n"
           "  vantu-cli call writeValue k int:-5\n"
           "  vantu-cli call getValue k                      # prints -5\n"
           "  vantu-cli call --json connToPDA r -- showRoadbook 0\n"
           "  vantu-cli call importToPDA "
           "'<rb><url>http://host/a.zip</url><name>Day1</name></rb>'\n";
}

const std::string kCallHelp = callHelp();
const std::string kShellHelp =
    std::string(
        "Reads calls from standard input, one per line: the method and its arguments separated "
        "by\nspaces, with shell-like quoting ('...', \"...\", backslash). Each call prints "
        "exactly one\nline; lines starting with # are skipped. All calls run in one process, as "
        "one run of\nthe program. A task runs on while the next lines are read, as it does for "
        "the page (so\nPauseTask can reach it); the end of the input waits for it. An unknown "
        "method prints an\nempty line and makes the exit status 2.\n\n") +
    kCallOptions +
    "Example:\n"
    "  printf 'connToPDA r\\nshowRoadbook 0\\n' | vantu-cli shell\n";

const CliCommand kCall({
    "call",
    "call [--ansi] [--json] [--page-calls] [--routebook-server HOST[:PORT]] [--file PATH]... "
    "METHOD [ARG...] [-- METHOD [ARG...]]...",
    "call the page's methods, as the portal page calls them",
    kCallHelp.c_str(),
    runCall,
});

const CliCommand kShell({
    "shell",
    "shell [--ansi] [--json] [--page-calls] [--routebook-server HOST[:PORT]] [--file PATH]...",
    "read calls from standard input, one per line",
    kShellHelp.c_str(),
    runShell,
});

// What `vantu-cli methods` says of each page method, in DISPID order: its arguments and what it
// answers.
struct MethodHelp {
    const char* arguments;  // one word per argument
    const char* description;
};
constexpr MethodHelp kMethodHelp[] = {
    {"KEY", "the setting KEY from vantu.ini"},
    {"KEY VALUE", "stores VALUE (text, or int:N, num:X, bool:...) as the setting KEY; true"},
    {"NAME", "the text of the page's text file NAME"},
    {"NAME CONTENT", "writes the page's text file NAME; true"},
    {"ACCOUNT", "binds the account for uploads; the verified account name"},
    {"TEXT", "[navigator] the route book list; TEXT starting with r reads the navigator again"},
    {"", "[navigator] the saved places"},
    {"PLACES", "[navigator] adds places: '<p lng=\"11600000\" lat=\"3900000\">Home</p>'..."},
    {"IDS", "[navigator] removes places by their ids in the list: 2,0"},
    {"RBID", "[navigator] one route book in full, by its rbid in the list"},
    {"ITEMS", "[navigator, task] installs '<rb><url>URL</url><name>NAME</name></rb>'..."},
    {"RBIDS", "[navigator, task] deletes route books by rbid: 2,0"},
    {"RBIDS", "[navigator, task] uploads route books to the route book server: 0,3"},
    {"p|c|t", "pauses, continues or stops the running task"},
    // The program's own.
    {"NAME", "[navigator, task, dialog] installs a package from the PC as NAME (\"\": its own)"},
    {"NAME", "[navigator, task, dialog] installs a GPX file as route book NAME (\"\": the file's)"},
    {"RBID", "[navigator, dialog] saves a route book as a GPX 1.1 file on the PC"},
    {"NAME", "[navigator, task, dialog] backs the navigator up into a zip (NAME: offered name)"},
    {"\"\"|replace", "[navigator, task, dialog] restores a backup, keeping files that differ"},
    {"", "what the last backup or restore did (the files that differ)"},
};

constexpr int wordCount(std::string_view text) {
    int words = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != ' ' && (i == 0 || text[i - 1] == ' ')) ++words;
    return words;
}

constexpr bool helpFitsMethods() {
    if (std::size(kMethodHelp) != kPageMethods.size()) return false;
    for (size_t i = 0; i < kPageMethods.size(); ++i)
        if (wordCount(kMethodHelp[i].arguments) != kPageMethods[i].arguments) return false;
    return true;
}
static_assert(helpFitsMethods(), "one help line per page method, naming each of its arguments");

int runMethods(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "vantu-cli methods: takes no arguments\n");
        return kExitUsage;
    }
    for (const PageMethod& method : kPageMethods) {
        const MethodHelp& help = kMethodHelp[method.dispid];
        std::string call = std::string(method.name) + " " + help.arguments;
        std::printf("%-2d %-31s %s\n", static_cast<int>(method.dispid), call.c_str(),
                    help.description);
    }
    return kExitOk;
}

const CliCommand kMethods({
    "methods",
    "methods",
    "list the page's methods with their arguments",
    "Lists the methods of the page's external object in DISPID order, with their arguments and\n"
    "what they answer: the portal's 14, then the program's own. [navigator] methods answer no\n"
    "value (S_FALSE, exit status 1) while no navigator is connected; [task] methods start a\n"
    "task and answer at once; [dialog] methods ask for a file on the PC (see call --help) and\n"
    "answer <pcfile status=\"...\"> (docs/page-methods.md); \"refused\" makes exit status 3.\n\n"
    "Example:\n"
    "  vantu-cli methods\n",
    runMethods,
});

}  // namespace
}  // namespace cli
