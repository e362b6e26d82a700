#include "cli_program.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/page_messages.h"
#include "bridge/page_method_table.h"
#include "call_arguments.h"
#include "common/task_status.h"
#include "json_documents.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"

namespace cli {

namespace {

// Texts for the codes that the page gets without one.
const char* ownStatusText(TaskStatus code) {
    switch (static_cast<int>(code)) {
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

const char* taskWord(TaskKind kind) {
    switch (static_cast<int>(kind)) {
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

void TerminalSeat::post(const TaskEvent& event) {
    // The terminal keeps the files that differ, as restore does without --replace.
    if (event.question) event.question->answer(false);
    auto call = pageCallFor(event);
    if (!call) return;
    const bool status = event.kind == TaskEvent::Kind::Status;
    if (status && event.status != TaskStatus::Done) failure_.store(true);
    std::string line;  // UTF-8
    if (output_.pageCalls) {
        line = formatPageCall(*call);
    } else if (status) {
        line = "status " + std::to_string(static_cast<int>(event.status));
        std::optional<std::string> text =
            event.status == TaskStatus::Done ? std::nullopt : statusText(event.status);
        if (text)
            line += ": " + platform::ansiToUtf8(*text);
        else if (const char* own = ownStatusText(event.status))
            line += std::string(": ") + own;
        if (!event.causeText.empty()) line += ": " + platform::ansiToUtf8(event.causeText);
    } else {
        line = "item " + std::to_string(event.ordinal) + ": " + taskWord(event.progress);
    }
    if (output_.ansi) line = platform::utf8ToAnsi(line);
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

platform::FileDialogAnswer TerminalSeat::chooseFile(const platform::FileDialogRequest& request) {
    if (!output_.answerDialogs) return {};
    std::string path;  // UTF-8
    if (nextFile_ < output_.files.size()) {
        path = output_.files[nextFile_++];
    } else {
        std::string patterns;
        for (const std::string& pattern : platform::filterPatterns(request.extension))
            patterns += (patterns.empty() ? "" : ";") + pattern;
        std::fprintf(stderr, "%s (%s, %s): ", platform::ansiToUtf8(request.title).c_str(),
                     platform::ansiToUtf8(request.filterName).c_str(), patterns.c_str());
        std::fflush(stderr);
        if (!std::getline(std::cin, path)) path.clear();
    }
    // A path the ANSI code page cannot hold is refused, as the system's dialog would.
    platform::FileDialogAnswer answer = platform::chosenPath(utf8::toUtf16(path));
    if (request.kind != platform::FileDialogRequest::Kind::Save ||
        answer.outcome != platform::FileDialogAnswer::Outcome::Chosen)
        return answer;
    std::string completed = platform::withDefaultExtension(answer.path, request.extension);
    if (completed != answer.path && platform::fileExists(completed) && !output_.replace) {
        std::fprintf(stderr, "vantu-cli: %s exists; give --replace to replace it\n",
                     toTerminal(completed).c_str());
        dialogRefused_ = true;
        return {};
    }
    answer.path = std::move(completed);
    return answer;
}

MethodOutcome CliMethods::run(const PageMethod& method, std::string text) {
    MethodOutcome outcome = ProgramMethods::run(method, std::move(text));
    if (!outcome.refused) return outcome;
    refused_ = true;
    // The page reads a refusal's reason from the answer, where there is one; a script hears of
    // it by the exit status.
    if (outcome.why != nullptr)
        std::fprintf(stderr, "vantu-cli: %s %s\n", method.name, outcome.why);
    return outcome;
}

CliProgram::CliProgram(const Output& output)
    : output_(output),
      seat_(output),
      device_(seat_),
      settings_(SettingsStore::folderFor(platform::programFolder())),
      methods_(device_),
      external_(settings_, methods_) {}

void CliProgram::waitForTask() {
    while (!device_.taskThread.waitIdle(std::chrono::hours(1))) {
    }
}

void CliProgram::note(int exitCode) {
    exitCode_ = std::max(exitCode_, exitCode);
}

int CliProgram::exitCode() const {
    int code = exitCode_;
    if (seat_.failureReported() || methods_.argumentRefused())
        code = std::max<int>(code, kExitFailed);
    if (seat_.dialogRefused()) code = std::max<int>(code, kExitFile);
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

}  // namespace cli
