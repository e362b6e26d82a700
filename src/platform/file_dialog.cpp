#include "platform/file_dialog.h"

#include <algorithm>
#include <utility>

#include "platform/codepage.h"
#include "platform/paths.h"

namespace platform {

std::vector<std::string> filterPatterns(const std::string& extension) {
    std::vector<std::string> patterns;
    for (size_t at = 0; at <= extension.size();) {
        size_t end = std::min(extension.find(';', at), extension.size());
        patterns.push_back("*." + extension.substr(at, end - at));
        at = end + 1;
    }
    return patterns;
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
