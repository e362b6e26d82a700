#include <unistd.h>

#include <vector>

#include "platform/codepage.h"
#include "platform/full_path.h"
#include "platform/posix/syscalls_posix.h"

namespace platform {

bool isAbsolutePath(std::string_view path) {
    return !path.empty() && path[0] == '/';
}

std::optional<std::string> fullPath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::string whole = path;
    if (!isAbsolutePath(path)) {
        std::vector<char> cwd(4096);
        if (!posix::syscalls().getcwd(cwd.data(), cwd.size())) return std::nullopt;
        whole = utf8ToAnsi(cwd.data()) + "/" + path;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= whole.size()) {
        size_t end = whole.find('/', start);
        if (end == std::string::npos) end = whole.size();
        std::string part = whole.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    if (out.empty() || whole.back() == '/') out += "/";
    return out;
}

}  // namespace platform
