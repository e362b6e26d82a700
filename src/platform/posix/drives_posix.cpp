#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/posix/drives_posix.h"

namespace platform {

namespace {

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '7' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool readFlag(const std::filesystem::path& file) {
    std::ifstream in(file);
    int value = 0;
    return in >> value && value == 1;
}

// The block device major:minor, or its parent disk (a partition has no "removable" of its own),
// reports removable media, or sits on a USB bus.
bool blockDeviceIsRemovable(const std::string& majorMinor) {
    std::error_code ec;
    std::filesystem::path dev = std::filesystem::path("/sys/dev/block") / majorMinor;
    std::filesystem::path real = std::filesystem::canonical(dev, ec);
    if (ec) return false;
    if (real.string().find("/usb") != std::string::npos) return true;
    return readFlag(real / "removable") || readFlag(real.parent_path() / "removable");
}

// Mounts that hold the system itself are never searched, whatever their device says.
bool isSystemMount(const std::string& mountPoint) {
    static const char* const kSystem[] = {"/proc", "/sys", "/dev", "/run",  "/boot",
                                          "/usr",  "/var", "/etc", "/snap", "/tmp"};
    if (mountPoint == "/") return true;
    if (startsWith(mountPoint, "/run/media/")) return false;
    for (const char* prefix : kSystem) {
        std::string p(prefix);
        if (mountPoint == p || startsWith(mountPoint, p + "/")) return true;
    }
    return false;
}

}  // namespace

namespace posix {

std::vector<std::string> removableMountPoints(
    const std::string& mountinfo,
    const std::function<bool(const std::string& majorMinor)>& isRemovableDevice) {
    std::vector<std::string> roots;
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, mountPoint;
        if (!(fields >> id >> parent >> majorMinor >> root >> mountPoint)) continue;
        mountPoint = unescapeMountField(mountPoint);
        if (isSystemMount(mountPoint)) continue;
        bool underMedia =
            startsWith(mountPoint, "/media/") || startsWith(mountPoint, "/run/media/");
        if (!underMedia && !isRemovableDevice(majorMinor)) continue;
        roots.push_back(utf8ToAnsi(mountPoint));
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

}  // namespace posix

std::vector<std::string> systemRemovableDrives() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return posix::removableMountPoints(text.str(), blockDeviceIsRemovable);
}

}  // namespace platform
