#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file_ops.h"
#include "platform/posix/posix_util.h"

namespace platform {

namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool closeChecked() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        ssize_t put = ::write(fd, data, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

}  // namespace

bool moveNoReplace(const std::string& from, const std::string& to) {
    std::string source = posix::toNative(from);
    std::string target = posix::toNative(to);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: check first (not atomic, but nothing that was
    // there before the call is replaced unless it appears in between).
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 || errno != ENOENT) return false;
    return ::rename(source.c_str(), target.c_str()) == 0;
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
    Fd in(::open(posix::toNative(from).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.get() < 0 || fstat(in.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    std::string target = posix::toNative(to);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    Fd out(::open(target.c_str(), flags, 0644));
    if (out.get() < 0) return false;
    bool ok = true;
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ok = false;
        if (got <= 0) break;
        if (!writeAll(out.get(), buffer, static_cast<size_t>(got))) {
            ok = false;
            break;
        }
    }
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && futimens(out.get(), times) == 0;
    ok = out.closeChecked() && ok;
    if (!ok) ::unlink(target.c_str());
    return ok;
}

bool removeTree(const std::string& path) {
    std::string native = posix::toNative(path);
    std::error_code ec;
    std::filesystem::remove_all(native, ec);
    struct stat st {};
    return lstat(native.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace platform
