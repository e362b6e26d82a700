#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/codepage.h"
#include "platform/drive_folder.h"
#include "platform/os_error.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/syscalls_posix.h"
#include "platform/utf8_text.h"

// Every name is walked with openat and O_NOFOLLOW from the root's descriptor, so that no link on
// the way is resolved, not even one planted while the walk runs.
namespace platform {

namespace {

using posix::Descriptor;
using posix::syscalls;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool failed(std::string_view operation, const std::string& root, std::u16string_view name,
            OsError* error) {
    return failWithOsError(operation, root + utf8ToAnsi(utf8::fromUtf16(name)), error);
}

// The UTF-8 form of one part of a name, empty when it has none (a lone surrogate).
std::string partName(std::u16string_view part) {
    std::string out = utf8::fromUtf16(part);
    return utf8::toUtf16(out) == part ? out : std::string();
}

// A descriptor of the folder that holds the last part of `name`, walked to from `root` without
// following links, and that last part in UTF-8; -1 (errno set) when the way is refused.
int parentOf(int root, std::u16string_view name, std::string& leaf) {
    if (!isWalkableName(name)) {
        errno = EINVAL;
        return -1;
    }
    int folder = syscalls().openat(root, ".", kFolderFlags, 0);
    for (size_t start = 0; folder >= 0;) {
        size_t end = name.find(u'\\', start);
        std::string part = partName(name.substr(start, end == name.npos ? name.npos : end - start));
        if (part.empty()) {
            syscalls().close(folder);
            errno = EINVAL;
            return -1;
        }
        if (end == name.npos) {
            leaf = std::move(part);
            return folder;
        }
        int next = syscalls().openat(folder, part.c_str(), kFolderFlags, 0);
        syscalls().close(folder);
        folder = next;
        start = end + 1;
    }
    return -1;
}

EntryKind kindOfMode(mode_t mode) {
    return S_ISREG(mode) ? EntryKind::File : S_ISDIR(mode) ? EntryKind::Folder : EntryKind::Other;
}

struct DirCloser {
    void operator()(DIR* d) const { syscalls().closedir(d); }
};

DriveEntry entryOf(int folder, const char* name) {
    DriveEntry entry;
    std::string_view text(name);
    entry.name = utf8::toUtf16(text);
    entry.exactName = utf8::fromUtf16(entry.name) == text && text.find('\\') == text.npos;
    struct stat st {};
    if (syscalls().fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return entry;
    entry.kind = kindOfMode(st.st_mode);
    entry.size = entry.kind == EntryKind::File ? static_cast<uint64_t>(st.st_size) : 0;
    entry.lastWriteTime = posix::fileTimeFromTimespec(st.st_mtim);
    return entry;
}

}  // namespace

DriveFolder::DriveFolder(const std::string& root) : root_(root) {
    handle_ = syscalls().open(posix::toNative(root).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
}

DriveFolder::~DriveFolder() {
    if (handle_ >= 0) syscalls().close(static_cast<int>(handle_));
}

bool DriveFolder::isOpen() const {
    return handle_ >= 0;
}

std::optional<std::vector<DriveEntry>> DriveFolder::list(std::u16string_view folder) const {
    int fd = -1;
    if (folder.empty()) {
        fd = syscalls().openat(static_cast<int>(handle_), ".", kFolderFlags, 0);
    } else {
        std::string leaf;
        Descriptor parent(parentOf(static_cast<int>(handle_), folder, leaf));
        if (parent.get() >= 0) fd = syscalls().openat(parent.get(), leaf.c_str(), kFolderFlags, 0);
    }
    if (fd < 0) return std::nullopt;
    std::unique_ptr<DIR, DirCloser> dir(syscalls().fdopendir(fd));
    if (!dir) {
        syscalls().close(fd);
        return std::nullopt;
    }
    std::vector<DriveEntry> entries;
    while (struct dirent* d = syscalls().readdir(dir.get())) {
        std::string_view name(d->d_name);
        if (name != "." && name != "..") entries.push_back(entryOf(dirfd(dir.get()), d->d_name));
    }
    return entries;
}

std::optional<EntryKind> DriveFolder::kindOf(std::u16string_view name) const {
    std::string leaf;
    Descriptor parent(parentOf(static_cast<int>(handle_), name, leaf));
    struct stat st {};
    if (parent.get() < 0 ||
        syscalls().fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return kindOfMode(st.st_mode);
}

bool DriveFolder::openFile(std::u16string_view name, OpenMode mode, File& file,
                           OsError* error) const {
    if (mode != OpenMode::Read && mode != OpenMode::CreateNew) return false;
    std::string leaf;
    Descriptor parent(parentOf(static_cast<int>(handle_), name, leaf));
    if (parent.get() < 0) return failed("open", root_, name, error);
    // A FIFO opened to read would wait for a writer: opened without waiting, and then refused.
    const int flags = mode == OpenMode::Read ? O_RDONLY | O_NONBLOCK : O_RDWR | O_CREAT | O_EXCL;
    int fd = syscalls().openat(parent.get(), leaf.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return failed("open", root_, name, error);
    struct stat st {};
    if (syscalls().fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (mode == OpenMode::Read &&
         syscalls().setFlags(fd, syscalls().getFlags(fd) & ~O_NONBLOCK) != 0)) {
        syscalls().close(fd);
        return false;
    }
    file.adopt(fd, root_ + utf8ToAnsi(utf8::fromUtf16(name)));
    return true;
}

bool DriveFolder::createFolder(std::u16string_view name, OsError* error) const {
    std::string leaf;
    Descriptor parent(parentOf(static_cast<int>(handle_), name, leaf));
    return (parent.get() >= 0 && syscalls().mkdirat(parent.get(), leaf.c_str(), 0755) == 0) ||
           failed("create folder", root_, name, error);
}

bool DriveFolder::removeFolder(std::u16string_view name, OsError* error) const {
    std::string leaf;
    Descriptor parent(parentOf(static_cast<int>(handle_), name, leaf));
    return (parent.get() >= 0 &&
            syscalls().unlinkat(parent.get(), leaf.c_str(), AT_REMOVEDIR) == 0) ||
           failed("remove folder", root_, name, error);
}

bool DriveFolder::removeFile(std::u16string_view name, OsError* error) const {
    std::string leaf;
    Descriptor parent(parentOf(static_cast<int>(handle_), name, leaf));
    return (parent.get() >= 0 && syscalls().unlinkat(parent.get(), leaf.c_str(), 0) == 0) ||
           failed("delete", root_, name, error);
}

bool DriveFolder::moveNoReplace(std::u16string_view from, std::u16string_view to,
                                OsError* error) const {
    std::string fromLeaf, toLeaf;
    Descriptor fromParent(parentOf(static_cast<int>(handle_), from, fromLeaf));
    Descriptor toParent(parentOf(static_cast<int>(handle_), to, toLeaf));
    return (fromParent.get() >= 0 && toParent.get() >= 0 &&
            syscalls().renameatNoReplace(fromParent.get(), fromLeaf.c_str(), toParent.get(),
                                         toLeaf.c_str()) == 0) ||
           failed("rename", root_, from, error);
}

bool DriveFolder::moveIntoPlace(std::u16string_view fresh, std::u16string_view target,
                                OsError* error) const {
    std::string freshLeaf, targetLeaf;
    Descriptor freshParent(parentOf(static_cast<int>(handle_), fresh, freshLeaf));
    Descriptor targetParent(parentOf(static_cast<int>(handle_), target, targetLeaf));
    if (freshParent.get() < 0 || targetParent.get() < 0) return false;
    const posix::Syscalls& sys = syscalls();
    Descriptor file(
        sys.openat(freshParent.get(), freshLeaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    struct stat freshStat {};
    if (file.get() < 0 || sys.fstat(file.get(), &freshStat) != 0 || !S_ISREG(freshStat.st_mode))
        return false;
    mode_t mode = freshStat.st_mode & 07777;
    struct stat targetStat {};
    if (sys.fstatat(targetParent.get(), targetLeaf.c_str(), &targetStat, AT_SYMLINK_NOFOLLOW) ==
        0) {
        if (!S_ISREG(targetStat.st_mode)) return false;
        mode = targetStat.st_mode & 07777;
    }
    // The bytes reach the disk before the name does, and the name survives a crash.
    const std::string path = root_ + utf8ToAnsi(utf8::fromUtf16(fresh));
    if (sys.fchmod(file.get(), mode) != 0 || sys.fsync(file.get()) != 0 || !file.reset())
        return failWithOsError("flush", path, error);
    if (sys.renameat(freshParent.get(), freshLeaf.c_str(), targetParent.get(),
                     targetLeaf.c_str()) != 0)
        return failWithOsError("rename", path, error);
    sys.fsync(targetParent.get());
    return true;
}

}  // namespace platform
