#include "support/file_tree.h"

#include <algorithm>
#include <filesystem>

#include "platform/paths.h"
#include "support/native_path.h"
#include "support/temp_dir.h"

FileTree treeOf(const std::string& folder) {
    FileTree files;
    std::error_code ec;
    std::filesystem::path base = nativePath(folder);
    for (auto it = std::filesystem::recursive_directory_iterator(base, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = ansiPath(it->path().lexically_relative(base).generic_u16string());
        files[rel] = it->is_directory() ? "<dir>" : readFileBytes(ansiPath(it->path()));
    }
    return files;
}

void writeTree(const std::string& folder, const FileTree& files) {
    for (const auto& [relative, bytes] : files) {
        std::string path = folder + relative;
        std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(), '/',
                     platform::kPathSeparator);
        std::filesystem::path target = nativePath(path);
        if (bytes == "<dir>") {
            std::filesystem::create_directories(target);
            continue;
        }
        std::filesystem::create_directories(target.parent_path());
        writeFileBytes(path, bytes);
    }
}
