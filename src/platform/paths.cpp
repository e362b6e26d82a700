#include "platform/paths.h"

#include "platform/codepage.h"

namespace platform {

bool isSeparatorAt(std::string_view path, size_t i) {
    return i < path.size() && isPathSeparator(path[i]) &&
           (path[i] == '/' || ansiPrefixLength(path, i) == i);
}

size_t lastSeparator(std::string_view path) {
    for (size_t i = path.size(); i-- > 0;)
        if (isSeparatorAt(path, i)) return i;
    return std::string_view::npos;
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (!out.empty() && !isSeparatorAt(out, out.size() - 1)) out += kPathSeparator;
    out += name;
    return out;
}

std::string programFolder() {
    std::string file = programFile();
    size_t cut = lastSeparator(file);
    return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

}  // namespace platform
