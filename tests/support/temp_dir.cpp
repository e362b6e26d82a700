#include "support/temp_dir.h"

#include <atomic>
#include <filesystem>
#include <random>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {
std::filesystem::path native(const std::string& ansi) {
    return std::filesystem::path(platform::ansiToUtf8(ansi));
}
}  // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::string base = platform::tempFolder();
    for (;;) {
        std::string candidate =
            base + "vantu-test-" + std::to_string(rd()) + "-" + std::to_string(counter++);
        std::error_code ec;
        if (std::filesystem::create_directory(native(candidate), ec)) {
            path_ = candidate + platform::kPathSeparator;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(native(path_), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(native(path_), ec);
}

std::string TempDir::file(const std::string& relative) const {
    std::string out = path_;
    for (char c : relative)
        out += (c == '/') ? platform::kPathSeparator : c;
    return out;
}

std::string readFileBytes(const std::string& path) {
    std::string bytes;
    platform::readWholeFile(path, bytes);
    return bytes;
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    platform::writeWholeFile(path, bytes);
}
