#include <unistd.h>

#include <cstdlib>

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

std::string userConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    // A relative value is invalid and is ignored.
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') return {};
        folder = home;
        if (folder.back() != '/') folder += '/';
        folder += ".config";
    }
    if (folder.back() != '/') folder += '/';
    return utf8ToAnsi(folder);
}

bool isWritableFolder(const std::string& folder) {
    return access(ansiToUtf8(folder).c_str(), W_OK | X_OK) == 0;
}

bool isPortableFolder(const std::string& folder) {
    // Root may write anywhere; an installed program still keeps its files out of /usr.
    if (folder.rfind("/usr/", 0) == 0) return false;
    return isWritableFolder(folder);
}

}  // namespace platform
