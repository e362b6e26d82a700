#include "support/file_tree.h"

#include <algorithm>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace {

std::filesystem::path native(const std::string& ansi) {
    return std::filesystem::path(platform::ansiToUtf8(ansi));
}

}  // namespace

FileTree treeOf(const std::string& folder) {
    FileTree files;
    std::error_code ec;
    std::filesystem::path base = native(folder);
    for (auto it = std::filesystem::recursive_directory_iterator(base, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel =
            platform::utf8ToAnsi(it->path().lexically_relative(base).generic_string());
        files[rel] =
            it->is_directory() ? "<dir>" : readFileBytes(platform::utf8ToAnsi(it->path().string()));
    }
    return files;
}

void writeTree(const std::string& folder, const FileTree& files) {
    for (const auto& [relative, bytes] : files) {
        std::string path = folder + relative;
        std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(), '/',
                     platform::kPathSeparator);
        std::filesystem::path target = native(path);
        if (bytes == "<dir>") {
            std::filesystem::create_directories(target);
            continue;
        }
        std::filesystem::create_directories(target.parent_path());
        writeFileBytes(path, bytes);
    }
}
