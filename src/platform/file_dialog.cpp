#include "platform/file_dialog.h"

#include <utility>

#include "platform/codepage.h"

namespace platform {

FileDialogAnswer chosenPath(std::u16string_view path) {
    if (path.empty()) return {};
    std::string ansi = utf16ToAnsi(path);
    if (ansiToUtf16(ansi) != path) return {FileDialogAnswer::Outcome::Unreachable, {}};
    return {FileDialogAnswer::Outcome::Chosen, std::move(ansi)};
}

}  // namespace platform
