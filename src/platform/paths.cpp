#include "platform/paths.h"

namespace platform {

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (!out.empty() && !isPathSeparator(out.back())) out += kPathSeparator;
    out += name;
    return out;
}

std::string programFolder() {
    std::string file = programFile();
    size_t cut = file.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

}  // namespace platform
