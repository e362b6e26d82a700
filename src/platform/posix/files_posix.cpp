#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/codepage.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/os_error.h"
#include "platform/paths.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"

namespace platform {

namespace posix {

std::string toNative(const std::string& ansiPath) {
    return ansiToUtf8(ansiPath);
}

bool Descriptor::reset() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || syscalls().close(fd) == 0;
}

bool copyDescriptor(int in, int out) {
    char buffer[65536];
    for (;;) {
        ssize_t got = syscalls().read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = syscalls().write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
    }
}

FileTime fileTimeFromTimespec(const struct timespec& ts) {
    return static_cast<FileTime>(filetime::fromUnix(ts.tv_sec, ts.tv_nsec));
}

struct timespec timespecFromFileTime(FileTime time) {
    int64_t seconds = 0;
    long nanoseconds = 0;
    filetime::toUnix(static_cast<uint64_t>(time), seconds, nanoseconds);
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = nanoseconds;
    return ts;
}

uint32_t attributesOf(const std::string& nativePath, const struct stat& st, const char* name) {
    uint32_t attrs = 0;
    if (S_ISDIR(st.st_mode)) {
        attrs |= kAttrDirectory;
    } else {
        attrs |= kAttrArchive;
    }
    if (syscalls().access(nativePath.c_str(), W_OK) != 0) attrs |= kAttrReadOnly;
    if (name && name[0] == '.') attrs |= kAttrHidden;
    return attrs;
}

}  // namespace posix

namespace {

int openFlags(OpenMode mode) {
    switch (mode) {
        case OpenMode::Read:
            return O_RDONLY;
        case OpenMode::ReadWriteExisting:
            return O_RDWR;
        case OpenMode::CreateAlways:
            return O_RDWR | O_CREAT | O_TRUNC;
        case OpenMode::OpenAlways:
            return O_RDWR | O_CREAT;
        case OpenMode::CreateNew:
            return O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
    }
    return O_RDONLY;
}

}  // namespace

bool File::open(const std::string& path, OpenMode mode, OsError* error) {
    close();
    std::string native = posix::toNative(path);
    // A FIFO would wait for its other end: opened without waiting, and then refused.
    int fd = posix::syscalls().open(native.c_str(), openFlags(mode) | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return failWithOsError("open", path, error);
    // Only a regular file is read or written: not a folder, FIFO, device or socket.
    struct stat st {};
    bool regular = posix::syscalls().fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!regular ||
        posix::syscalls().setFlags(fd, posix::syscalls().getFlags(fd) & ~O_NONBLOCK) != 0) {
        if (!regular) errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        posix::syscalls().close(fd);
        return failWithOsError("open", path, error);
    }
    handle_ = fd;
    path_ = path;
    return true;
}

void File::close() {
    if (handle_ != -1) {
        posix::syscalls().close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

size_t File::read(void* buffer, size_t n, OsError* error) {
    if (handle_ == -1) return 0;
    size_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < n) {
        ssize_t got = posix::syscalls().read(static_cast<int>(handle_), out + total, n - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failWithOsError("read", path_, error);
        if (got <= 0) break;
        total += static_cast<size_t>(got);
    }
    return total;
}

bool File::write(const void* data, size_t n, OsError* error) {
    if (handle_ == -1) return false;
    size_t total = 0;
    const auto* in = static_cast<const char*>(data);
    while (total < n) {
        ssize_t put = posix::syscalls().write(static_cast<int>(handle_), in + total, n - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return failWithOsError("write", path_, error);
        total += static_cast<size_t>(put);
    }
    return true;
}

bool File::seek(int64_t offset) {
    return handle_ != -1 &&
           posix::syscalls().lseek(static_cast<int>(handle_), static_cast<off_t>(offset),
                                   SEEK_SET) == static_cast<off_t>(offset);
}

int64_t File::size() const {
    struct stat st {};
    if (handle_ == -1 || posix::syscalls().fstat(static_cast<int>(handle_), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool File::setTimes(FileTime time) {
    if (handle_ == -1) return false;
    struct timespec times[2] = {posix::timespecFromFileTime(time),
                                posix::timespecFromFileTime(time)};
    return posix::syscalls().futimens(static_cast<int>(handle_), times) == 0;
}

namespace {

struct DirCloser {
    void operator()(DIR* d) const { posix::syscalls().closedir(d); }
};

// '*' and '?' matching as FindFirstFile does for the plain cases (no 8.3 short-name quirks);
// letters compare without regard to ASCII case, as on the navigator's and Windows' file systems.
bool wildcardMatch(const char* pattern, const char* name) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    const char* starP = nullptr;
    const char* starN = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starP = pattern++;
            starN = name;
        } else if (*pattern == '?' || (*pattern && lower(*pattern) == lower(*name))) {
            ++pattern;
            ++name;
        } else if (starP) {
            pattern = starP + 1;
            name = ++starN;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

}  // namespace

std::optional<std::vector<FolderEntry>> findFiles(const std::string& pattern) {
    size_t cut = pattern.find_last_of("/\\");
    std::string folder = cut == std::string::npos ? std::string(".") : pattern.substr(0, cut);
    if (folder.empty()) folder.assign(1, '/');
    std::string mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
    std::string nativeFolder = posix::toNative(folder);
    std::unique_ptr<DIR, DirCloser> dir(posix::syscalls().opendir(nativeFolder.c_str()));
    if (!dir) return std::nullopt;
    std::string nativeMask = posix::toNative(mask);
    std::vector<FolderEntry> entries;
    while (struct dirent* d = posix::syscalls().readdir(dir.get())) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        if (!wildcardMatch(nativeMask.c_str(), d->d_name)) continue;
        std::string full = nativeFolder + "/" + d->d_name;
        struct stat st {};
        if (posix::syscalls().stat(full.c_str(), &st) != 0) continue;
        FolderEntry e;
        e.name = utf8ToAnsi(d->d_name);
        e.attributes = posix::attributesOf(full, st, d->d_name);
        e.lastWriteTime = posix::fileTimeFromTimespec(st.st_mtim);
        e.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::optional<std::vector<FolderEntry>> listFolder(const std::string& folder) {
    return findFiles(joinFolderPattern(folder));
}

std::string joinFolderPattern(const std::string& folder) {
    // The trail byte of a double-byte character may have the value of '\\'.
    if (!folder.empty() && isSeparatorAt(folder, folder.size() - 1)) return folder + "*";
    return folder + "/*";
}

bool writeNewFile(const std::string& path, std::string_view data, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    std::string native = posix::toNative(path);
    struct stat st {};
    if (sys.lstat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) sys.unlink(native.c_str());
    posix::Descriptor fd(
        sys.open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) return failWithOsError("create", path, error);
    bool ok = true;
    for (size_t done = 0; ok && done < data.size();) {
        ssize_t put = sys.write(fd.get(), data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        ok = put > 0 || failWithOsError("write", path, error);
        if (ok) done += static_cast<size_t>(put);
    }
    ok = ok && (fd.reset() || failWithOsError("close", path, error));
    if (!ok) sys.unlink(native.c_str());
    return ok;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return posix::syscalls().stat(posix::toNative(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folderExists(const std::string& path) {
    struct stat st {};
    return posix::syscalls().stat(posix::toNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool deleteFile(const std::string& path, OsError* error) {
    const posix::Syscalls& sys = posix::syscalls();
    std::string native = posix::toNative(path);
    struct stat st {};
    if (sys.lstat(native.c_str(), &st) != 0) return failWithOsError("delete", path, error);
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return failWithOsError("delete", path, error);
    }
    return sys.unlink(native.c_str()) == 0 || failWithOsError("delete", path, error);
}

bool createFolder(const std::string& path, OsError* error) {
    std::string native = posix::toNative(path);
    if (posix::syscalls().mkdir(native.c_str(), 0755) == 0) return true;
    if (errno == EEXIST && folderExists(path)) return true;
    return failWithOsError("create folder", path, error);
}

bool removeFolder(const std::string& path, OsError* error) {
    return posix::syscalls().rmdir(posix::toNative(path).c_str()) == 0 ||
           failWithOsError("remove folder", path, error);
}

}  // namespace platform
