#include "support/temp_dir.h"

#include <atomic>
#include <filesystem>
#include <random>

#include "platform/files.h"
#include "platform/paths.h"
#include "support/native_path.h"

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::string base = platform::tempFolder();
    for (;;) {
        std::string candidate =
            base + "vantu-test-" + std::to_string(rd()) + "-" + std::to_string(counter++);
        std::error_code ec;
        if (std::filesystem::create_directory(nativePath(candidate), ec)) {
            path_ = candidate + platform::kPathSeparator;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::path root = nativePath(path_);
    std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
#ifdef _WIN32
    // Windows will not delete a read-only file.
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ec);
#endif
    std::filesystem::remove_all(root, ec);
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
