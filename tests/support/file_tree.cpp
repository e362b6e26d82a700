#include "support/file_tree.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/paths.h"
#include "platform/utf8_text.h"
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

FileTree unicodeTreeOf(const std::string& folder) {
    FileTree files;
    std::error_code ec;
    std::filesystem::path base = nativePath(folder);
    for (auto it = std::filesystem::recursive_directory_iterator(base, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file() || it->is_symlink()) continue;
        std::ifstream in(it->path(), std::ios::binary);
        files[utf8::fromUtf16(it->path().lexically_relative(base).generic_u16string())] =
            std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

void writeUnicodeFile(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
    std::filesystem::path target = nativePath(folder) / utf8::toUtf16(name);
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << bytes;
}
