// The navigator simulator: the remote API's entry points over a folder of the PC.
//
// The folder named by NAVSIM_ROOT (or set with NavsimControl("root", ...)) is the device's root
// folder. Its top-level subfolders are shown as mounted storage (directory + temporary
// attributes), like storage cards, except those named in NAVSIM_MAIN_STORE (comma-separated,
// default "My Documents,Windows,Program Files,Temp"), which are plain folders of the main store.
// Without a root the link never comes up. Names are matched without regard to letter case (ASCII
// and the code page's other letters), as on the device; "." and ".." are refused, so no path leaves
// the root.
//
// Every entry point takes one lock: the program's window thread and its worker call at once.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "device/device_names.h"
#include "platform/file_time.h"
#include "platform/rapi_abi.h"
#include "platform/utf8_text.h"

using rapi::BOOL;
using rapi::DWORD;
using rapi::HANDLE;
using rapi::HRESULT;
using rapi::WCHAR;

namespace {

constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057);
constexpr DWORD kAttrReadOnly = 0x1;
constexpr DWORD kAttrHidden = 0x2;
constexpr DWORD kAttrDirectory = 0x10;
constexpr DWORD kAttrArchive = 0x20;
constexpr DWORD kAttrTemporary = 0x100;

// ---- text ----

std::string toUtf8(std::u16string_view text) {
    return utf8::fromUtf16(text);
}

std::u16string toUtf16(std::string_view text) {
    return utf8::toUtf16(text);
}

char16_t foldUnit(char16_t c) {
    return foldDeviceUnit(c);
}

std::string foldUtf8(const std::string& text) {
    return toUtf8(foldDeviceName(toUtf16(text)));
}

std::u16string nulTerminated(const WCHAR* text) {
    std::u16string out;
    if (text == nullptr) return out;
    for (size_t i = 0; text[i] != 0 && i < 32768; ++i)
        out += text[i];
    return out;
}

bool wildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || foldUnit(pattern[p]) == foldUnit(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// ---- times ----

rapi::FILETIME fileTimeOf(const struct timespec& ts) {
    uint64_t ticks = filetime::fromUnix(ts.tv_sec, ts.tv_nsec);
    return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

[[maybe_unused]] struct timespec timespecOf(const rapi::FILETIME& ft) {
    int64_t seconds = 0;
    long nanoseconds = 0;
    filetime::toUnix((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, seconds,
                     nanoseconds);
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = nanoseconds;
    return ts;
}

// ---- state ----

enum Fault {
    kFaultCreate,
    kFaultRead,
    kFaultWrite,
    kFaultDelete,
    kFaultRemoveFolder,
    kFaultCreateFolder,
    kFaultMove,
    kFaultFind,
    kFaultCount
};
constexpr const char* kFaultNames[kFaultCount] = {"create", "read",  "write", "delete",
                                                  "rmdir",  "mkdir", "move",  "find"};

enum class LinkMode { Up, Never, Error };

struct OpenFile {
    int fd = -1;
    bool canRead = false;
    bool canWrite = false;
};

struct Enumeration {
    std::vector<rapi::CE_FIND_DATA> entries;
    size_t next = 0;
};

struct State {
    std::mutex mutex;
    bool configured = false;
    std::string root;                    // UTF-8, no trailing '/'; empty: no device
    std::vector<std::string> mainStore;  // folded UTF-8 names
    LinkMode linkMode = LinkMode::Up;
    bool linked = false;
    int eventRead = -1;
    int eventWrite = -1;
    int failAt[kFaultCount] = {};
    int seen[kFaultCount] = {};
    std::optional<rapi::STORE_INFORMATION> store;
    std::map<std::string, DWORD> attributeOverrides;  // folded UTF-8 device path
    std::map<std::string, int> calls;
    std::map<uintptr_t, std::variant<OpenFile, Enumeration>> handles;
    uintptr_t nextHandle = 0x1000;

    ~State() { closeLink(); }

    void setMainStore(const std::string& list) {
        mainStore.clear();
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            if (comma > start) mainStore.push_back(foldUtf8(list.substr(start, comma - start)));
            start = comma + 1;
        }
    }

    void setRoot(const std::string& folder) {
        root = folder;
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
    }

    void readEnvironment() {
        const char* envRoot = std::getenv("NAVSIM_ROOT");
        setRoot(envRoot ? envRoot : "");
        const char* envMain = std::getenv("NAVSIM_MAIN_STORE");
        setMainStore(envMain ? envMain : "My Documents,Windows,Program Files,Temp");
    }

    void resetFaults() {
        linkMode = LinkMode::Up;
        std::fill(std::begin(failAt), std::end(failAt), 0);
        std::fill(std::begin(seen), std::end(seen), 0);
        store.reset();
        attributeOverrides.clear();
        calls.clear();
    }

    void configure() {
        if (configured) return;
        readEnvironment();
        configured = true;
    }

    void enter(const char* entry) {
        configure();
        ++calls[entry];
    }

    bool fault(Fault f) {
        if (failAt[f] <= 0) return false;
        if (++seen[f] < failAt[f]) return false;
        failAt[f] = 0;
        seen[f] = 0;
        return true;
    }

    void closeLink() {
        if (eventRead >= 0) ::close(eventRead);
        if (eventWrite >= 0) ::close(eventWrite);
        eventRead = eventWrite = -1;
        linked = false;
        for (auto& [id, object] : handles)
            if (auto* f = std::get_if<OpenFile>(&object)) ::close(f->fd);
        handles.clear();
    }

    HANDLE addHandle(std::variant<OpenFile, Enumeration> object) {
        uintptr_t id = nextHandle++;
        handles.emplace(id, std::move(object));
        return reinterpret_cast<HANDLE>(id);
    }

    template <class T>
    T* find(HANDLE handle) {
        auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
        return it == handles.end() ? nullptr : std::get_if<T>(&it->second);
    }
};

State& state() {
    static State s;
    return s;
}

// A device path resolved to the PC: the UTF-8 host path, the device path folded for attribute
// overrides and the number of its components (1 = an entry of the device root).
struct HostPath {
    std::string host;
    std::string folded;
    size_t depth = 0;
    std::string lastAsGiven;  // the last component as the caller spelled it
};

// Finds the entry of `folder` whose name equals `name` without regard to letter case.
std::string matchEntry(const std::string& folder, const std::string& name) {
    struct stat st {};
    if (lstat((folder + "/" + name).c_str(), &st) == 0) return name;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return name;
    std::string wanted = foldUtf8(name);
    std::string found = name;
    while (struct dirent* d = readdir(dir)) {
        if (foldUtf8(d->d_name) == wanted) {
            found = d->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::optional<HostPath> resolve(const State& s, std::u16string_view device) {
    if (s.root.empty() || device.empty() || (device[0] != u'\\' && device[0] != u'/'))
        return std::nullopt;
    HostPath out;
    out.host = s.root;
    size_t i = 1;
    while (i < device.size()) {
        size_t end = device.find_first_of(u"\\/", i);
        if (end == std::u16string_view::npos) end = device.size();
        std::u16string_view part = device.substr(i, end - i);
        i = end + 1;
        if (part.empty()) {
            if (end == device.size() || i >= device.size()) break;  // a trailing separator
            return std::nullopt;
        }
        if (part == u"." || part == u"..") return std::nullopt;
        out.lastAsGiven = toUtf8(part);
        std::string name = matchEntry(out.host, out.lastAsGiven);
        out.host += "/" + name;
        out.folded += "\\" + foldUtf8(name);
        ++out.depth;
    }
    return out;
}

DWORD attributesOf(const State& s, const HostPath& path, const std::string& name,
                   const struct stat& st) {
    auto it = s.attributeOverrides.find(path.folded);
    if (it != s.attributeOverrides.end()) return it->second;
    DWORD attrs = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    if (S_ISDIR(st.st_mode) && path.depth == 1 &&
        std::find(s.mainStore.begin(), s.mainStore.end(), foldUtf8(name)) == s.mainStore.end())
        attrs |= kAttrTemporary;
    if (access(path.host.c_str(), W_OK) != 0) attrs |= kAttrReadOnly;
    if (!name.empty() && name[0] == '.') attrs |= kAttrHidden;
    return attrs;
}

bool exists(const std::string& host) {
    struct stat st {};
    return lstat(host.c_str(), &st) == 0;
}

[[maybe_unused]] bool renameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (exists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool copyHostFile(const std::string& from, const std::string& to, bool failIfExists) {
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

// The caller holds the lock; false when the link is down.
bool linkUp(const State& s) {
    return s.linked && !s.root.empty();
}

std::optional<HostPath> resolveLinked(const State& s, const WCHAR* path) {
    if (!linkUp(s)) return std::nullopt;
    return resolve(s, nulTerminated(path));
}

int parseNumber(const char* text) {
    return text ? static_cast<int>(std::strtol(text, nullptr, 0)) : 0;
}

}  // namespace

extern "C" {

HANDLE RAPI_CALL CeCreateFile(const WCHAR* lpFileName, DWORD dwDesiredAccess, DWORD,
                              rapi::SECURITY_ATTRIBUTES*, DWORD dwCreationDisposition, DWORD,
                              HANDLE) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeCreateFile");
    auto path = resolveLinked(s, lpFileName);
    if (!path || path->depth == 0 || s.fault(kFaultCreate)) return rapi::invalidHandleValue();
    int flags = 0;
    switch (dwCreationDisposition) {
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
            return rapi::invalidHandleValue();
    }
    OpenFile file;
    file.canRead = (dwDesiredAccess & rapi::kGenericRead) != 0;
    file.canWrite = (dwDesiredAccess & rapi::kGenericWrite) != 0;
    // Creating or truncating needs a writable descriptor even for a read-only handle.
    bool writable = file.canWrite || (flags & (O_CREAT | O_TRUNC)) != 0;
    file.fd = ::open(path->host.c_str(), flags | O_CLOEXEC | (writable ? O_RDWR : O_RDONLY), 0644);
    if (file.fd < 0) return rapi::invalidHandleValue();
    struct stat st {};
    if (fstat(file.fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(file.fd);
        return rapi::invalidHandleValue();
    }
    return s.addHandle(file);
}

BOOL RAPI_CALL CeCloseHandle(HANDLE hObject) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeCloseHandle");
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == s.handles.end()) return 0;
    if (auto* f = std::get_if<OpenFile>(&it->second)) ::close(f->fd);
    s.handles.erase(it);
    return 1;
}

#ifndef NAVSIM_PARTIAL
BOOL RAPI_CALL CeWriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
                           DWORD* lpNumberOfBytesWritten, rapi::OVERLAPPED*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeWriteFile");
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    OpenFile* file = s.find<OpenFile>(hFile);
    if (file == nullptr || !file->canWrite || (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) ||
        s.fault(kFaultWrite))
        return 0;
    const char* data = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = ::write(file->fd, data + done, nNumberOfBytesToWrite - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return done == nNumberOfBytesToWrite ? 1 : 0;
}
#endif

BOOL RAPI_CALL CeReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                          DWORD* lpNumberOfBytesRead, rapi::OVERLAPPED*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeReadFile");
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    OpenFile* file = s.find<OpenFile>(hFile);
    if (file == nullptr || !file->canRead || (lpBuffer == nullptr && nNumberOfBytesToRead > 0) ||
        s.fault(kFaultRead))
        return 0;
    char* out = static_cast<char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        ssize_t got = ::read(file->fd, out + done, nNumberOfBytesToRead - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 0;
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return 1;
}

DWORD RAPI_CALL CeGetFileSize(HANDLE hFile, DWORD* lpFileSizeHigh) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeGetFileSize");
    OpenFile* file = s.find<OpenFile>(hFile);
    struct stat st {};
    if (file == nullptr || fstat(file->fd, &st) != 0) return 0xFFFFFFFFu;
    auto size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

#ifndef NAVSIM_PARTIAL
BOOL RAPI_CALL CeSetFileTime(HANDLE hFile, const rapi::FILETIME*,
                             const rapi::FILETIME* lpLastAccessTime,
                             const rapi::FILETIME* lpLastWriteTime) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeSetFileTime");
    OpenFile* file = s.find<OpenFile>(hFile);
    if (file == nullptr) return 0;
    // The PC's file systems keep no settable creation time; the other two are set.
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (lpLastAccessTime) times[0] = timespecOf(*lpLastAccessTime);
    if (lpLastWriteTime) times[1] = timespecOf(*lpLastWriteTime);
    return futimens(file->fd, times) == 0 ? 1 : 0;
}
#endif

HANDLE RAPI_CALL CeFindFirstFile(const WCHAR* lpFileName, rapi::CE_FIND_DATA* lpFindFileData) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeFindFirstFile");
    if (!linkUp(s) || lpFindFileData == nullptr || s.fault(kFaultFind))
        return rapi::invalidHandleValue();
    std::u16string pattern = nulTerminated(lpFileName);
    size_t cut = pattern.find_last_of(u"\\/");
    if (cut == std::u16string::npos) return rapi::invalidHandleValue();
    std::u16string mask = pattern.substr(cut + 1);
    auto folder = resolve(s, cut == 0 ? std::u16string(u"\\") : pattern.substr(0, cut));
    if (!folder || mask.empty()) return rapi::invalidHandleValue();
    DIR* dir = opendir(folder->host.c_str());
    if (dir == nullptr) return rapi::invalidHandleValue();
    std::vector<std::string> names;
    while (struct dirent* d = readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        if (wildcardMatch(mask, toUtf16(d->d_name))) names.emplace_back(d->d_name);
    }
    closedir(dir);
    // A stable order, so that runs over the same folder enumerate alike.
    std::sort(names.begin(), names.end());
    Enumeration found;
    for (const std::string& name : names) {
        HostPath entry{folder->host + "/" + name, folder->folded + "\\" + foldUtf8(name),
                       folder->depth + 1, name};
        struct stat st {};
        if (stat(entry.host.c_str(), &st) != 0) continue;
        std::u16string wide = toUtf16(name);
        if (wide.size() >= static_cast<size_t>(rapi::kMaxPath)) continue;
        rapi::CE_FIND_DATA data{};
        data.dwFileAttributes = attributesOf(s, entry, name, st);
        data.ftCreationTime = fileTimeOf(st.st_ctim);
        data.ftLastAccessTime = fileTimeOf(st.st_atim);
        data.ftLastWriteTime = fileTimeOf(st.st_mtim);
        uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
        std::copy(wide.begin(), wide.end(), data.cFileName);
        found.entries.push_back(data);
    }
    if (found.entries.empty()) return rapi::invalidHandleValue();
    *lpFindFileData = found.entries[0];
    found.next = 1;
    return s.addHandle(std::move(found));
}

BOOL RAPI_CALL CeFindNextFile(HANDLE hFindFile, rapi::CE_FIND_DATA* lpFindFileData) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeFindNextFile");
    Enumeration* found = s.find<Enumeration>(hFindFile);
    if (found == nullptr || lpFindFileData == nullptr || found->next >= found->entries.size())
        return 0;
    *lpFindFileData = found->entries[found->next++];
    return 1;
}

BOOL RAPI_CALL CeFindClose(HANDLE hFindFile) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeFindClose");
    if (s.find<Enumeration>(hFindFile) == nullptr) return 0;
    s.handles.erase(reinterpret_cast<uintptr_t>(hFindFile));
    return 1;
}

BOOL RAPI_CALL CeCreateDirectory(const WCHAR* lpPathName, rapi::SECURITY_ATTRIBUTES*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeCreateDirectory");
    auto path = resolveLinked(s, lpPathName);
    if (!path || path->depth == 0 || s.fault(kFaultCreateFolder)) return 0;
    return mkdir(path->host.c_str(), 0755) == 0 ? 1 : 0;
}

BOOL RAPI_CALL CeRemoveDirectory(const WCHAR* lpPathName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeRemoveDirectory");
    auto path = resolveLinked(s, lpPathName);
    if (!path || path->depth == 0 || s.fault(kFaultRemoveFolder)) return 0;
    return rmdir(path->host.c_str()) == 0 ? 1 : 0;
}

BOOL RAPI_CALL CeDeleteFile(const WCHAR* lpFileName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeDeleteFile");
    auto path = resolveLinked(s, lpFileName);
    struct stat st {};
    if (!path || path->depth == 0 || lstat(path->host.c_str(), &st) != 0 || S_ISDIR(st.st_mode) ||
        s.fault(kFaultDelete))
        return 0;
    return unlink(path->host.c_str()) == 0 ? 1 : 0;
}

#ifndef NAVSIM_PARTIAL
BOOL RAPI_CALL CeMoveFile(const WCHAR* lpExistingFileName, const WCHAR* lpNewFileName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeMoveFile");
    auto from = resolveLinked(s, lpExistingFileName);
    auto to = resolveLinked(s, lpNewFileName);
    if (!from || !to || from->depth == 0 || to->depth == 0 || s.fault(kFaultMove)) return 0;
    if (!exists(from->host)) return 0;
    if (from->host == to->host && from->lastAsGiven == to->lastAsGiven) return 1;
    std::string target = to->host.substr(0, to->host.rfind('/') + 1) + to->lastAsGiven;
    // A new name that differs only in letter case names the moved entry itself: a case change.
    if (from->host == to->host) return ::rename(from->host.c_str(), target.c_str()) == 0 ? 1 : 0;
    if (exists(to->host)) return 0;
    return renameNoReplace(from->host, target) ? 1 : 0;
}
#endif

BOOL RAPI_CALL CeCopyFile(const WCHAR* lpExistingFileName, const WCHAR* lpNewFileName,
                          BOOL bFailIfExists) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeCopyFile");
    auto from = resolveLinked(s, lpExistingFileName);
    auto to = resolveLinked(s, lpNewFileName);
    if (!from || !to || from->depth == 0 || to->depth == 0 || from->host == to->host) return 0;
    return copyHostFile(from->host, to->host, bFailIfExists != 0) ? 1 : 0;
}

#ifndef NAVSIM_PARTIAL
BOOL RAPI_CALL CeGetStoreInformation(rapi::STORE_INFORMATION* lpsi) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeGetStoreInformation");
    if (!linkUp(s) || lpsi == nullptr) return 0;
    if (s.store) {
        *lpsi = *s.store;
        return 1;
    }
    struct statvfs st {};
    if (statvfs(s.root.c_str(), &st) != 0) return 0;
    auto clamp = [](uint64_t v) { return static_cast<DWORD>(std::min<uint64_t>(v, 0xFFFFFFFFu)); };
    lpsi->dwStoreSize = clamp(static_cast<uint64_t>(st.f_blocks) * st.f_frsize);
    lpsi->dwFreeSize = clamp(static_cast<uint64_t>(st.f_bavail) * st.f_frsize);
    return 1;
}
#endif

DWORD RAPI_CALL CeGetTempPath(DWORD nBufferLength, WCHAR* lpBuffer) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeGetTempPath");
    if (!linkUp(s)) return 0;
    static const char16_t kTemp[] = u"\\Temp\\";
    DWORD length = static_cast<DWORD>(std::char_traits<char16_t>::length(kTemp));
    if (lpBuffer == nullptr || nBufferLength <= length) return length + 1;
    std::copy(kTemp, kTemp + length + 1, lpBuffer);
    return length;
}

void RAPI_CALL CeGetSystemInfo(rapi::SYSTEM_INFO* lpSystemInfo) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeGetSystemInfo");
    if (lpSystemInfo == nullptr) return;
    *lpSystemInfo = rapi::SYSTEM_INFO{};
    lpSystemInfo->wProcessorArchitecture = 5;  // ARM
    lpSystemInfo->dwPageSize = 4096;
    lpSystemInfo->dwActiveProcessorMask = 1;
    lpSystemInfo->dwNumberOfProcessors = 1;
    lpSystemInfo->dwProcessorType = 2577;
    lpSystemInfo->dwAllocationGranularity = 65536;
}

void RAPI_CALL CeGlobalMemoryStatus(rapi::MEMORYSTATUS* lpmst) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeGlobalMemoryStatus");
    if (lpmst == nullptr) return;
    constexpr DWORD kMegabyte = 1024 * 1024;
    *lpmst = rapi::MEMORYSTATUS{sizeof(rapi::MEMORYSTATUS),
                                40,
                                64 * kMegabyte,
                                38 * kMegabyte,
                                0,
                                0,
                                32 * kMegabyte,
                                24 * kMegabyte};
}

BOOL RAPI_CALL CeCreateProcess(const WCHAR*, const WCHAR*, rapi::SECURITY_ATTRIBUTES*,
                               rapi::SECURITY_ATTRIBUTES*, BOOL, DWORD, void*, WCHAR*,
                               rapi::STARTUPINFO*, rapi::PROCESS_INFORMATION*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeCreateProcess");
    return 0;  // the simulated device runs no programs
}

BOOL RAPI_CALL CeEnumDBVolumes(rapi::CEGUID*, WCHAR*, DWORD) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeEnumDBVolumes");
    return 0;  // no database volumes
}

BOOL RAPI_CALL CeFlushDBVol(rapi::CEGUID*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeFlushDBVol");
    return 0;
}

HRESULT RAPI_CALL CeRapiInitEx(rapi::RAPIINIT* pRapiInit) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeRapiInitEx");
    if (pRapiInit == nullptr || pRapiInit->cbSize != sizeof(rapi::RAPIINIT)) return kInvalidArg;
    s.closeLink();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return rapi::kFail;
    s.eventRead = fds[0];
    s.eventWrite = fds[1];
    pRapiInit->heRapiInit = reinterpret_cast<HANDLE>(static_cast<intptr_t>(s.eventRead));
    if (s.root.empty() || s.linkMode == LinkMode::Never) return rapi::kOk;
    pRapiInit->hrRapiInit = s.linkMode == LinkMode::Up ? rapi::kOk : rapi::kFail;
    s.linked = s.linkMode == LinkMode::Up;
    char byte = 1;
    if (::write(s.eventWrite, &byte, 1) != 1) return rapi::kFail;
    return rapi::kOk;
}

HRESULT RAPI_CALL CeRapiInit() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeRapiInit");
    s.closeLink();
    s.linked = !s.root.empty() && s.linkMode == LinkMode::Up;
    return s.linked ? rapi::kOk : rapi::kFail;
}

#ifndef NAVSIM_PARTIAL
HRESULT RAPI_CALL CeRapiUninit() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.enter("CeRapiUninit");
    bool wasUp = s.linked;
    s.closeLink();
    return wasUp ? rapi::kOk : rapi::kFail;
}
#endif

// The simulator's own control, for tests and demonstrations. Returns -1 for a command or
// argument it does not know, else 0 (or the count asked for).
//   root FOLDER        the PC folder that is the device root ("" = no device; the link then
//                      never comes up)
//   main-store LIST    comma-separated names of root folders that are not mounted storage
//   fail KIND N        the N-th call of KIND from now fails, once; KIND is create, read, write,
//                      delete, rmdir, mkdir, move or find; N = 0 cancels
//   link MODE          how link starts end: up, never (no completion), error (completes with
//                      an error)
//   store TOTAL FREE   what CeGetStoreInformation reports, in bytes ("" = the root's volume)
//   attributes PATH=A  reports attribute word A (e.g. 0x11) for the device path PATH
//   calls NAME         how many times the entry point NAME was called ("" = all)
//   reset              no faults, link starts complete, counts zero (root and main store stay)
int NavsimControl(const char* command, const char* argument) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.configure();
    std::string cmd = command ? command : "";
    std::string arg = argument ? argument : "";
    if (cmd == "root") {
        s.setRoot(arg);
        return 0;
    }
    if (cmd == "main-store") {
        s.setMainStore(arg);
        return 0;
    }
    if (cmd == "fail") {
        size_t space = arg.find(' ');
        std::string kind = arg.substr(0, space);
        for (int f = 0; f < kFaultCount; ++f) {
            if (kind == kFaultNames[f]) {
                s.failAt[f] = space == std::string::npos ? 1 : parseNumber(arg.c_str() + space);
                s.seen[f] = 0;
                return 0;
            }
        }
        return -1;
    }
    if (cmd == "link") {
        if (arg == "up")
            s.linkMode = LinkMode::Up;
        else if (arg == "never")
            s.linkMode = LinkMode::Never;
        else if (arg == "error")
            s.linkMode = LinkMode::Error;
        else
            return -1;
        return 0;
    }
    if (cmd == "store") {
        if (arg.empty()) {
            s.store.reset();
            return 0;
        }
        unsigned long long total = 0, free = 0;
        if (std::sscanf(arg.c_str(), "%llu %llu", &total, &free) != 2) return -1;
        s.store = rapi::STORE_INFORMATION{static_cast<DWORD>(total), static_cast<DWORD>(free)};
        return 0;
    }
    if (cmd == "attributes") {
        size_t eq = arg.rfind('=');
        if (eq == std::string::npos) return -1;
        std::string path = foldUtf8(arg.substr(0, eq));
        while (path.size() > 1 && path.back() == '\\')
            path.pop_back();
        s.attributeOverrides[path] =
            static_cast<DWORD>(std::strtoul(arg.c_str() + eq + 1, nullptr, 0));
        return 0;
    }
    if (cmd == "calls") {
        if (arg.empty()) {
            int total = 0;
            for (const auto& [name, count] : s.calls)
                total += count;
            return total;
        }
        auto it = s.calls.find(arg);
        return it == s.calls.end() ? 0 : it->second;
    }
    if (cmd == "reset") {
        s.resetFaults();
        return 0;
    }
    return -1;
}

}  // extern "C"
