#include "platform/drives.h"

#include <mutex>

namespace platform {

namespace {

std::mutex& overrideMutex() {
    static std::mutex m;
    return m;
}

std::optional<std::vector<std::string>>& overrideRoots() {
    static std::optional<std::vector<std::string>> roots;
    return roots;
}

}  // namespace

std::vector<std::string> removableDrives() {
    {
        std::lock_guard<std::mutex> lock(overrideMutex());
        if (overrideRoots()) return *overrideRoots();
    }
    return systemRemovableDrives();
}

void setRemovableDrivesForTesting(std::optional<std::vector<std::string>> roots) {
    std::lock_guard<std::mutex> lock(overrideMutex());
    overrideRoots() = std::move(roots);
}

}  // namespace platform
