#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_replace.h"
#include "platform/posix/posix_util.h"

namespace platform {

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false when the close reported a failure (data may not have reached the disk).
    bool reset() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool copyAll(int in, int out) {
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
    }
}

std::string folderOf(const std::string& nativePath) {
    size_t cut = nativePath.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? std::string("/") : nativePath.substr(0, cut);
}

}  // namespace

bool replaceWithCopy(const std::string& source, const std::string& target) {
    std::string nativeSource = posix::toNative(source);
    std::string nativeTarget = posix::toNative(target);
    Descriptor in(::open(nativeSource.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat sourceStat {};
    if (in.get() < 0 || fstat(in.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode))
        return false;
    mode_t mode = sourceStat.st_mode & 07777;
    struct stat targetStat {};
    if (::stat(nativeTarget.c_str(), &targetStat) == 0) {
        if (!S_ISREG(targetStat.st_mode)) return false;
        mode = targetStat.st_mode & 07777;
    }

    std::string temporary = nativeTarget + ".XXXXXX";
    Descriptor out(mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0) return false;
    bool written =
        copyAll(in.get(), out.get()) && fchmod(out.get(), mode) == 0 && fsync(out.get()) == 0;
    written = out.reset() && written;
    if (!written || ::rename(temporary.c_str(), nativeTarget.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Makes the rename itself survive a crash.
    Descriptor folder(::open(folderOf(nativeTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) fsync(folder.get());
    return true;
}

bool makeExecutable(const std::string& path) {
    std::string native = posix::toNative(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    mode_t mode = st.st_mode & 07777;
    return ::chmod(native.c_str(), mode | ((mode & 0444) >> 2)) == 0;
}

}  // namespace platform
