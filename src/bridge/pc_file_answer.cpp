#include "bridge/pc_file_answer.h"

#include "formats/xml_text.h"
#include "platform/codepage.h"
#include "platform/paths.h"

using platform::FileDialogAnswer;
using platform::FileDialogRequest;

std::string pcFileAnswer(const PcFileOutcome& outcome) {
    std::string out = "<pcfile status=\"";
    out += outcome.status;
    out += "\" file=\"" + xmlEscape(outcome.file) + "\" name=\"" + xmlEscape(outcome.name) +
           "\" dropped=\"" + std::to_string(outcome.dropped) + "\">";
    appendXmlEscaped(out, platform::utf8ToAnsi(outcome.message));
    return out + "</pcfile>";
}

std::string pcFileRefused(const std::string& file, const std::string& message) {
    return pcFileAnswer({"refused", file, {}, message});
}

std::string pcFileRefused(const std::string& file, const std::string& message,
                          platform::OsError error) {
    if (error.failed()) {
        platform::addContext(error, "the PC's file " + file);
        platform::logOsError(error);
    }
    return pcFileRefused(file, message);
}

std::string fileNameOf(const std::string& path) {
    size_t slash = platform::lastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string baseNameOf(const std::string& path) {
    std::string name = fileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string extensionOf(const std::string& path) {
    std::string name = fileNameOf(path);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    std::string extension = name.substr(dot + 1);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

std::string quoted(const std::string& ansi) {
    return "“" + platform::ansiToUtf8(ansi) + "”";
}

std::optional<std::string> askForPcFile(Seat& seat, const FileDialogRequest& request,
                                        std::string& outcome) {
    FileDialogAnswer answer = seat.askForFile(request);
    if (answer.outcome == FileDialogAnswer::Outcome::Chosen) return answer.path;
    outcome = answer.outcome == FileDialogAnswer::Outcome::Cancelled
                  ? pcFileAnswer({"cancelled", {}, {}, {}})
                  : pcFileRefused({},
                                  "这个文件的路径里有系统的代码页写不出的字符，请把文件改名或换个"
                                  "地方再试。");
    return std::nullopt;
}

std::optional<std::string> chooseToOpen(Seat& seat, const char* title, const char* what,
                                        const char* extension, std::string& outcome) {
    return askForPcFile(seat,
                        {FileDialogRequest::Kind::Open,
                         platform::utf8ToAnsi(title),
                         platform::utf8ToAnsi(what),
                         extension,
                         {}},
                        outcome);
}
