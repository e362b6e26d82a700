// The simulator's files and event on Linux: UTF-8 paths as they are, the event a pipe.
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

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

// The names of the folders the simulator looked into, folded, so that a name that is not there
// (each new file of a copy) costs no listing of its folder. The kernel's change notices keep
// each folder's names fresh, whoever changes the folder; a folder that cannot be watched is
// listed instead.
class NameIndex {
  public:
    ~NameIndex() { reset(); }

    // The entry of `folder` that folds to `wanted`: "" when there is none, nothing when the
    // folder cannot be indexed.
    std::optional<std::string> spelled(const std::string& folder, const std::u16string& wanted) {
        std::lock_guard<std::mutex> lock(mutex_);
        // A forked child shares the notices' queue with its parent: it starts over.
        if (owner_ != getpid() || folders_.size() >= kMaxFolders) reset();
        if (notices_ < 0) notices_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        struct stat st {};
        if (notices_ < 0 || ::stat(folder.c_str(), &st) != 0) return std::nullopt;
        drain();
        auto it = folders_.find(folder);
        if (it == folders_.end() || it->second.device != st.st_dev ||
            it->second.inode != st.st_ino) {
            forget(folder);
            if (!index(folder, st)) return std::nullopt;
            it = folders_.find(folder);
        }
        auto found = it->second.names.find(wanted);
        return found == it->second.names.end() ? std::string() : found->second;
    }

  private:
    static constexpr size_t kMaxFolders = 256;
    static constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

    struct Folder {
        int watch = -1;
        dev_t device = 0;
        ino_t inode = 0;
        // Folded name -> the first entry of that name the folder showed.
        std::unordered_map<std::u16string, std::string> names;
    };

    // The watch comes first: a change made while the folder is listed arrives as a notice.
    bool index(const std::string& folder, const struct stat& st) {
        int watch = inotify_add_watch(notices_, folder.c_str(), kMask);
        if (watch < 0) return false;
        auto same = byWatch_.find(watch);  // the same folder under another path
        if (same != byWatch_.end()) forget(same->second);
        std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
        if (!dir) {
            inotify_rm_watch(notices_, watch);
            return false;
        }
        Folder& entry = folders_[folder];
        entry = Folder{watch, st.st_dev, st.st_ino, {}};
        byWatch_[watch] = folder;
        while (struct dirent* d = readdir(dir.get()))
            added(entry, d->d_name);
        return true;
    }

    static void added(Folder& folder, const char* name) {
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            folder.names.emplace(foldDeviceName(utf8::toUtf16(name)), name);
    }

    // Applies every notice that has arrived.
    void drain() {
        alignas(struct inotify_event) char buffer[16384];
        for (ssize_t got; (got = ::read(notices_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                auto* event = reinterpret_cast<struct inotify_event*>(at);
                at += sizeof(struct inotify_event) + event->len;
                apply(*event);
            }
        }
    }

    void apply(const struct inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) {
            reset();
            return;
        }
        auto watched = byWatch_.find(event.wd);
        if (watched == byWatch_.end()) return;
        const std::string path = watched->second;
        Folder& folder = folders_.at(path);
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
            forget(path);
        } else if (event.len > 0 && (event.mask & (IN_CREATE | IN_MOVED_TO))) {
            added(folder, event.name);
        } else if (event.len > 0) {
            // Another entry of the same folded name may stand there still: listed again.
            auto it = folder.names.find(foldDeviceName(utf8::toUtf16(event.name)));
            if (it != folder.names.end() && it->second == event.name) forget(path);
        }
    }

    void forget(const std::string& path) {
        auto it = folders_.find(path);
        if (it == folders_.end()) return;
        inotify_rm_watch(notices_, it->second.watch);
        byWatch_.erase(it->second.watch);
        folders_.erase(it);
    }

    void reset() {
        if (notices_ >= 0) ::close(notices_);
        notices_ = -1;
        folders_.clear();
        byWatch_.clear();
        owner_ = getpid();
    }

    std::mutex mutex_;
    int notices_ = -1;
    pid_t owner_ = getpid();
    std::unordered_map<std::string, Folder> folders_;
    std::unordered_map<int, std::string> byWatch_;
};

NameIndex& nameIndex() {
    static NameIndex index;
    return index;
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

// The entry of `folder` folded like `name`, from a listing of the folder.
std::string spelledByListing(const std::string& folder, const std::u16string& wanted) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return {};
    while (struct dirent* d = readdir(dir.get()))
        if (foldDeviceName(utf8::toUtf16(d->d_name)) == wanted) return d->d_name;
    return {};
}

std::string spelledEntry(const std::string& folder, const std::string& name) {
    if (exists(folder + "/" + name)) return name;
    std::u16string wanted = foldDeviceName(utf8::toUtf16(name));
    std::optional<std::string> indexed = nameIndex().spelled(folder, wanted);
    return indexed ? *indexed : spelledByListing(folder, wanted);
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

std::optional<Entry> entry(const std::string& folder, const std::string& name) {
    Entry found{name, {}};
    if (!infoOf(folder + "/" + name, found.info)) return std::nullopt;
    return found;
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
