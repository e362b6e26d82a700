#include "platform/files.h"

namespace platform {

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        path_ = std::move(other.path_);
        other.handle_ = -1;
    }
    return *this;
}

bool readWholeFile(const std::string& path, std::string& out, OsError* error) {
    File f(path, OpenMode::Read, error);
    if (!f.isOpen()) return false;
    int64_t size = f.size();
    out.clear();
    if (size > 0) out.resize(static_cast<size_t>(size));
    OsError failure;
    size_t got = size > 0 ? f.read(out.data(), out.size(), &failure) : 0;
    out.resize(got);
    // A file that grew while it was read, or whose size the system does not know in advance
    // (pipes, /proc), is read to its end.
    char chunk[4096];
    while (size_t more = f.read(chunk, sizeof chunk, &failure))
        out.append(chunk, more);
    if (!failure.failed()) return true;
    if (error) *error = failure;
    return false;
}

bool writeWholeFile(const std::string& path, std::string_view data, OsError* error) {
    File f(path, OpenMode::CreateAlways, error);
    return f.isOpen() && f.write(data.data(), data.size(), error);
}

}  // namespace platform
