#include "platform/digest.h"

#include "platform/files.h"

namespace platform {

std::string md5Hex(std::string_view bytes) {
    Md5 md5;
    md5.add(bytes.data(), bytes.size());
    return md5.hex();
}

std::string md5HexOfFile(const std::string& path) {
    File file(path, OpenMode::Read);
    int64_t size = file.size();
    if (!file.isOpen() || size < 0) return {};
    Md5 md5;
    int64_t total = 0;
    unsigned char buffer[65536];
    while (size_t got = file.read(buffer, sizeof buffer)) {
        md5.add(buffer, got);
        total += static_cast<int64_t>(got);
    }
    // A read error looks like the end of the file: only a whole file has a digest.
    return total == size ? md5.hex() : std::string();
}

}  // namespace platform
