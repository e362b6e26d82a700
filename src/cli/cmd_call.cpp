#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "bridge/page_method_table.h"
#include "call_arguments.h"
#include "cli.h"
#include "cli_program.h"
#include "options.h"
#include "platform/codepage.h"
#include "platform/file_dialog.h"
#include "platform/files.h"
#include "platform/utf8_text.h"
#include "tasks/http_transfer.h"

namespace cli {

namespace {

// The options before the first METHOD: --ansi, --page-calls, --json, --file PATH (a dialog's
// answer), --replace (a save's completed name may replace a file), and --routebook-server
// HOST[:PORT], which replaces the built-in route book server (a test server, a staging server).
// False for an option without its value.
bool takeOptions(std::vector<std::string>& args, Output& output) {
    std::optional<std::string> server;
    ParsedOptions parsed = parseOptions(args,
                                        {{"--ansi", &output.ansi},
                                         {"--page-calls", &output.pageCalls},
                                         {"--json", &output.json},
                                         {"--file", &output.files},
                                         {"--replace", &output.replace},
                                         {"--routebook-server", &server}},
                                        {.leadingOnly = true, .unknownIsArgument = true});
    if (!parsed.ok()) return false;
    if (server) setRouteBookServer(server);
    args = std::move(parsed.arguments);
    output.answerDialogs = true;
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
    "(an empty line cancels). A save's answer without an extension gets the dialog's (.gpx,\n"
    ".zip), as the dialog would add it; when a file stands at that completed name the save is\n"
    "cancelled, and the exit status is 4, unless --replace is given.\n\n"
    "ARG is a string, or typed: int:N (32-bit integer), num:X (double), bool:true, bool:false,\n"
    "null: (null), str:TEXT (a string that would otherwise look typed).\n\n"
    "Exit status: 0 when every call succeeded; 1 when a call answered S_FALSE (no value, for\n"
    "example a navigator method without a navigator); 2 for an unknown method (nothing runs);\n"
    "3 when the program reported a failure (a status other than 0, or poiToPDA or\n"
    "deleteSelectedPoi refusing its argument); 4 when a save would have replaced a file at a\n"
    "completed name without --replace.\n\n";

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
    "[--replace] "
    "METHOD [ARG...] [-- METHOD [ARG...]]...",
    "call the page's methods, as the portal page calls them",
    kCallHelp.c_str(),
    runCall,
});

const CliCommand kShell({
    "shell",
    "shell [--ansi] [--json] [--page-calls] [--routebook-server HOST[:PORT]] [--file PATH]... "
    "[--replace]",
    "read calls from standard input, one per line",
    kShellHelp.c_str(),
    runShell,
});

int runMethods(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "vantu-cli methods: takes no arguments\n");
        return kExitUsage;
    }
    for (const PageMethod& method : pageMethods()) {
        std::string call = std::string(method.name) + " " + method.arguments;
        std::printf("%-2d %-31s %s\n", static_cast<int>(method.dispid), call.c_str(),
                    method.description);
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
