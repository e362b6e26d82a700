#include "platform/file_dialog.h"

#include <utility>

#include "platform/codepage.h"

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
    return ask ? ask(request) : FileDialogAnswer{};
}

FileDialogAnswer chosenPath(std::u16string_view path) {
    if (path.empty()) return {};
    std::string ansi = utf16ToAnsi(path);
    if (ansiToUtf16(ansi) != path) return {FileDialogAnswer::Outcome::Unreachable, {}};
    return {FileDialogAnswer::Outcome::Chosen, std::move(ansi)};
}

}  // namespace platform
