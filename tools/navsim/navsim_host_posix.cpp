// The simulator's files and event on Linux: UTF-8 paths as they are, the event a pipe.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "device/device_names.h"
#include "navsim_host.h"
#include "platform/file_time.h"
#include "platform/utf8_text.h"

namespace navsim::host {

namespace {

rapi::FILETIME fileTimeOf(const struct timespec& ts) {
    uint64_t ticks = filetime::fromUnix(ts.tv_sec, ts.tv_nsec);
    return {static_cast<rapi::DWORD>(ticks & 0xFFFFFFFFu), static_cast<rapi::DWORD>(ticks >> 32)};
}

struct timespec timespecOf(const rapi::FILETIME& ft) {
    int64_t seconds = 0;
    long nanoseconds = 0;
    filetime::toUnix((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, seconds,
                     nanoseconds);
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = nanoseconds;
    return ts;
}

bool infoOf(const std::string& path, Info& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    info.folder = S_ISDIR(st.st_mode);
    info.readOnly = access(path.c_str(), W_OK) != 0;
    info.size = info.folder ? 0 : static_cast<uint64_t>(st.st_size);
    info.created = fileTimeOf(st.st_ctim);
    info.accessed = fileTimeOf(st.st_atim);
    info.written = fileTimeOf(st.st_mtim);
    return true;
}

}  // namespace

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string spelledEntry(const std::string& folder, const std::string& name) {
    if (exists(folder + "/" + name)) return name;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return {};
    std::string found;
    std::u16string wanted = foldDeviceName(utf8::toUtf16(name));
    while (struct dirent* d = readdir(dir)) {
        // Folding keeps a name's length in UTF-8: other lengths need no conversion.
        if (std::strlen(d->d_name) == name.size() &&
            foldDeviceName(utf8::toUtf16(d->d_name)) == wanted) {
            found = d->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::optional<std::vector<Entry>> list(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<Entry> entries;
    while (struct dirent* d = readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        Entry entry;
        entry.name = d->d_name;
        // A link that leads nowhere is not shown.
        if (infoOf(folder + "/" + entry.name, entry.info)) entries.push_back(std::move(entry));
    }
    closedir(dir);
    return entries;
}

bool makeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0755) == 0;
}

bool removeFolder(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}

bool deleteFile(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return unlink(path.c_str()) == 0;
}

bool rename(const std::string& from, const std::string& to, bool sameEntry) {
    if (sameEntry) return ::rename(from.c_str(), to.c_str()) == 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (exists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC),
                     0644);
    bool ok = out >= 0;
    char buffer[65536];
    while (ok) {
        ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = ::write(out, buffer, static_cast<size_t>(got)) == got;
    }
    ::close(in);
    if (out >= 0) ::close(out);
    return ok;
}

bool volumeSpace(const std::string& path, uint64_t& total, uint64_t& free) {
    struct statvfs st {};
    if (statvfs(path.c_str(), &st) != 0) return false;
    total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    free = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    return true;
}

bool File::open(const std::string& path, rapi::DWORD disposition, bool read, bool write) {
    close();
    int flags = 0;
    switch (disposition) {
        case rapi::kCreateNew:
            flags = O_CREAT | O_EXCL;
            break;
        case rapi::kCreateAlways:
            flags = O_CREAT | O_TRUNC;
            break;
        case rapi::kOpenExisting:
            break;
        case rapi::kOpenAlways:
            flags = O_CREAT;
            break;
        case rapi::kTruncateExisting:
            flags = O_TRUNC;
            break;
        default:
            return false;
    }
    (void)read;
    // Creating or truncating needs a writable descriptor even for a read-only handle.
    bool writable = write || (flags & (O_CREAT | O_TRUNC)) != 0;
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | (writable ? O_RDWR : O_RDONLY), 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void File::close() {
    if (handle_ != kNone) ::close(static_cast<int>(handle_));
    handle_ = kNone;
}

bool File::read(void* buffer, uint32_t n, uint32_t& done) {
    done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < n) {
        ssize_t got = ::read(static_cast<int>(handle_), out + done, n - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return true;
}

bool File::write(const void* data, uint32_t n, uint32_t& done) {
    done = 0;
    const char* in = static_cast<const char*>(data);
    while (done < n) {
        ssize_t put = ::write(static_cast<int>(handle_), in + done, n - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<uint32_t>(put);
    }
    return done == n;
}

bool File::size(uint64_t& bytes) const {
    struct stat st {};
    if (handle_ == kNone || fstat(static_cast<int>(handle_), &st) != 0) return false;
    bytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::setTimes(const rapi::FILETIME*, const rapi::FILETIME* accessed,
                    const rapi::FILETIME* written) {
    // The PC's file systems keep no settable creation time; the other two are set.
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (accessed) times[0] = timespecOf(*accessed);
    if (written) times[1] = timespecOf(*written);
    return futimens(static_cast<int>(handle_), times) == 0;
}

bool Event::create() {
    close();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    wait_ = fds[0];
    set_ = fds[1];
    return true;
}

bool Event::signal() {
    char byte = 1;
    return set_ >= 0 && ::write(static_cast<int>(set_), &byte, 1) == 1;
}

void Event::close() {
    if (wait_ >= 0) ::close(static_cast<int>(wait_));
    if (set_ >= 0) ::close(static_cast<int>(set_));
    wait_ = set_ = -1;
}

rapi::HANDLE Event::handle() const {
    return reinterpret_cast<rapi::HANDLE>(wait_);
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace navsim::host
