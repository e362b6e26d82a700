#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/codepage.h"
#include "platform/paths.h"

namespace platform {

std::string programFile() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return utf8ToAnsi(exe.string());
}

std::string tempFolder() {
    std::error_code ec;
    auto dir = std::filesystem::temp_directory_path(ec);
    std::string path = ec ? std::string("/tmp") : dir.string();
    if (path.empty() || path.back() != '/') path += '/';
    return utf8ToAnsi(path);
}

}  // namespace platform
