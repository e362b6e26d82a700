#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_replace.h"
#include "platform/posix/posix_util.h"

namespace platform {

namespace {

std::string folderOf(const std::string& nativePath) {
    size_t cut = nativePath.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? std::string("/") : nativePath.substr(0, cut);
}

// Renames and makes the rename itself survive a crash.
bool renameDurably(const std::string& nativeFrom, const std::string& nativeTo) {
    if (::rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) return false;
    posix::Descriptor folder(
        ::open(folderOf(nativeTo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) fsync(folder.get());
    return true;
}

}  // namespace

bool replaceWithCopy(const std::string& source, const std::string& target) {
    std::string nativeSource = posix::toNative(source);
    std::string nativeTarget = posix::toNative(target);
    posix::Descriptor in(::open(nativeSource.c_str(), O_RDONLY | O_CLOEXEC));
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
    posix::Descriptor out(mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0) return false;
    bool written = posix::copyDescriptor(in.get(), out.get()) && fchmod(out.get(), mode) == 0 &&
                   fsync(out.get()) == 0;
    written = out.reset() && written;
    if (!written || !renameDurably(temporary, nativeTarget)) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool moveIntoPlace(const std::string& fresh, const std::string& target) {
    std::string nativeFresh = posix::toNative(fresh);
    std::string nativeTarget = posix::toNative(target);
    posix::Descriptor file(::open(nativeFresh.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat freshStat {};
    if (file.get() < 0 || fstat(file.get(), &freshStat) != 0 || !S_ISREG(freshStat.st_mode))
        return false;
    struct stat targetStat {};
    if (::lstat(nativeTarget.c_str(), &targetStat) == 0) {
        if (!S_ISREG(targetStat.st_mode)) return false;
        if (fchmod(file.get(), targetStat.st_mode & 07777) != 0) return false;
    }
    return fsync(file.get()) == 0 && file.reset() && renameDurably(nativeFresh, nativeTarget);
}

bool makeExecutable(const std::string& path) {
    std::string native = posix::toNative(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    mode_t mode = st.st_mode & 07777;
    return ::chmod(native.c_str(), mode | ((mode & 0444) >> 2)) == 0;
}

}  // namespace platform
