#include "platform/file_dialog.h"

#include <utility>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/question.h"

namespace platform {
namespace {
FileDialogHandler& handler() {
    static FileDialogHandler installed;
    return installed;
}
}  // namespace

void setFileDialogHandler(FileDialogHandler replacement) {
    handler() = std::move(replacement);
}

FileDialogAnswer askForFile(const FileDialogRequest& request) {
    // A copy, so that a handler may replace itself while it asks.
    FileDialogHandler ask = handler();
    FileDialogAnswer answer = ask ? ask(request) : FileDialogAnswer{};
    if (request.kind != FileDialogRequest::Kind::Save ||
        answer.outcome != FileDialogAnswer::Outcome::Chosen)
        return answer;
    std::string completed = withDefaultExtension(answer.path, request.extension);
    if (completed == answer.path) return answer;
    if (fileExists(completed) && !askYesNo(replaceQuestion(completed), request.title)) return {};
    answer.path = std::move(completed);
    return answer;
}

std::string withDefaultExtension(const std::string& path, const std::string& extension) {
    size_t cut = lastSeparator(path);
    std::string_view name = std::string_view(path).substr(cut == std::string::npos ? 0 : cut + 1);
    if (name.empty() || name.find('.') != std::string_view::npos) return path;
    return path + "." + extension;
}

std::string replaceQuestion(const std::string& path) {
    size_t cut = lastSeparator(path);
    return utf8ToAnsi("“") + path.substr(cut == std::string::npos ? 0 : cut + 1) +
           utf8ToAnsi("”已经存在。要替换它吗？");
}

FileDialogAnswer chosenPath(std::u16string_view path) {
    if (path.empty()) return {};
    std::string ansi = utf16ToAnsi(path);
    if (ansiToUtf16(ansi) != path) return {FileDialogAnswer::Outcome::Unreachable, {}};
    return {FileDialogAnswer::Outcome::Chosen, std::move(ansi)};
}

}  // namespace platform
