// The navigator simulator: the remote API's entry points over a folder of the PC.
//
// The folder named by NAVSIM_ROOT (or set with NavsimControl("root", ...)) is the device's root
// folder. Its top-level subfolders are shown as mounted storage (directory + temporary
// attributes), like storage cards, except those named in NAVSIM_MAIN_STORE (comma-separated,
// default "My Documents,Windows,Program Files,Temp"), which are plain folders of the main store.
// NAVSIM_WRITE_DELAY_US (or NavsimControl("write-delay", ...)) makes every write, move and
// deletion take that many microseconds longer, as over a slow link, so that a test can stop the
// program part way through a copy.
// Without a root the link never comes up. Names are matched without regard to letter case (ASCII
// and the code page's other letters), as on the device; "." and ".." are refused, so no path leaves
// the root.
//
// Every entry point takes one lock, and only the thread that owns the library may call it (see
// State::enter): the program makes every remote call on one thread of its own, as the real
// device-connection software may demand. The PC's side (files, folders, the link event) is in
// navsim_host_*.cpp.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "device/device_names.h"
#include "navsim_host.h"
#include "platform/rapi_abi.h"
#include "platform/utf8_text.h"

using rapi::BOOL;
using rapi::DWORD;
using rapi::HANDLE;
using rapi::HRESULT;
using rapi::WCHAR;

// The entry points are the library's only exports, under their plain names.
#if defined(_WIN32)
#define NAVSIM_EXPORT __declspec(dllexport)
#else
#define NAVSIM_EXPORT __attribute__((visibility("default")))
#endif

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
    navsim::host::File file;
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
    navsim::host::Event event;
    int failAt[kFaultCount] = {};
    int seen[kFaultCount] = {};
    std::optional<rapi::STORE_INFORMATION> store;
    std::map<std::string, DWORD> attributeOverrides;  // folded UTF-8 device path
    std::map<std::string, int> calls;
    std::thread::id owner;  // none yet
    long writeDelayUs = 0;
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
        setRoot(navsim::host::environment("NAVSIM_ROOT").value_or(""));
        setMainStore(navsim::host::environment("NAVSIM_MAIN_STORE")
                         .value_or("My Documents,Windows,Program Files,Temp"));
        writeDelayUs = std::strtol(
            navsim::host::environment("NAVSIM_WRITE_DELAY_US").value_or("0").c_str(), nullptr, 10);
    }

    void resetFaults() {
        linkMode = LinkMode::Up;
        std::fill(std::begin(failAt), std::end(failAt), 0);
        std::fill(std::begin(seen), std::end(seen), 0);
        store.reset();
        attributeOverrides.clear();
        calls.clear();
        owner = {};
    }

    void configure() {
        if (configured) return;
        readEnvironment();
        configured = true;
    }

    void slowDown() const {
        if (writeDelayUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(writeDelayUs));
    }

    // The remote API is called from one thread: the first to call after a reset or after the
    // last CeRapiUninit owns the library, and a call from any other fails (counted as "other
    // thread" as well).
    bool enter(const char* entry) {
        configure();
        ++calls[entry];
        std::thread::id self = std::this_thread::get_id();
        if (owner == std::thread::id()) owner = self;
        if (owner == self) return true;
        ++calls["other thread"];
        return false;
    }

    bool fault(Fault f) {
        if (failAt[f] <= 0) return false;
        if (++seen[f] < failAt[f]) return false;
        failAt[f] = 0;
        seen[f] = 0;
        return true;
    }

    void closeLink() {
        event.close();
        linked = false;
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

// The entry of `folder` that `name` names without regard to letter case, or `name` itself when
// there is none (yet).
std::string matchEntry(const std::string& folder, const std::string& name) {
    std::string found = navsim::host::spelledEntry(folder, name);
    return found.empty() ? name : found;
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
        if (part == u"." || part == u".." || part.find_first_of(u"*?") != std::u16string_view::npos)
            return std::nullopt;
        out.lastAsGiven = toUtf8(part);
        std::string name = matchEntry(out.host, out.lastAsGiven);
        out.host += "/" + name;
        out.folded += "\\" + foldUtf8(name);
        ++out.depth;
    }
    return out;
}

DWORD attributesOf(const State& s, const HostPath& path, const std::string& name,
                   const navsim::host::Info& info) {
    auto it = s.attributeOverrides.find(path.folded);
    if (it != s.attributeOverrides.end()) return it->second;
    DWORD attrs = info.folder ? kAttrDirectory : kAttrArchive;
    if (info.folder && path.depth == 1 &&
        std::find(s.mainStore.begin(), s.mainStore.end(), foldUtf8(name)) == s.mainStore.end())
        attrs |= kAttrTemporary;
    if (info.readOnly) attrs |= kAttrReadOnly;
    if (info.hidden || (!name.empty() && name[0] == '.')) attrs |= kAttrHidden;
    return attrs;
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

// The entries of a folder that a search's last part may match. A name without wildcards is
// looked up rather than searched for, as a device's file system does: asking for one name in a
// folder of thousands of files costs no listing of them all.
std::optional<std::vector<navsim::host::Entry>> lookUp(const std::string& folder,
                                                       const std::u16string& mask) {
    if (mask.find_first_of(u"*?") != std::u16string::npos) return navsim::host::list(folder);
    std::vector<navsim::host::Entry> entries;
    if (mask == u"." || mask == u"..") return entries;
    std::string name = navsim::host::spelledEntry(folder, toUtf8(mask));
    if (name.empty()) return entries;
    if (auto found = navsim::host::entry(folder, name)) entries.push_back(std::move(*found));
    return entries;
}

}  // namespace

extern "C" {

NAVSIM_EXPORT HANDLE RAPI_CALL CeCreateFile(const WCHAR* lpFileName, DWORD dwDesiredAccess, DWORD,
                                            rapi::SECURITY_ATTRIBUTES*, DWORD dwCreationDisposition,
                                            DWORD, HANDLE) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeCreateFile")) return rapi::invalidHandleValue();
    auto path = resolveLinked(s, lpFileName);
    if (!path || path->depth == 0 || s.fault(kFaultCreate)) return rapi::invalidHandleValue();
    OpenFile file;
    file.canRead = (dwDesiredAccess & rapi::kGenericRead) != 0;
    file.canWrite = (dwDesiredAccess & rapi::kGenericWrite) != 0;
    if (!file.file.open(path->host, dwCreationDisposition, file.canRead, file.canWrite))
        return rapi::invalidHandleValue();
    return s.addHandle(std::move(file));
}

NAVSIM_EXPORT BOOL RAPI_CALL CeCloseHandle(HANDLE hObject) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeCloseHandle")) return 0;
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == s.handles.end()) return 0;
    s.handles.erase(it);
    return 1;
}

#ifndef NAVSIM_PARTIAL
NAVSIM_EXPORT BOOL RAPI_CALL CeWriteFile(HANDLE hFile, const void* lpBuffer,
                                         DWORD nNumberOfBytesToWrite, DWORD* lpNumberOfBytesWritten,
                                         rapi::OVERLAPPED*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeWriteFile")) return 0;
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    OpenFile* file = s.find<OpenFile>(hFile);
    if (file == nullptr || !file->canWrite || (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) ||
        s.fault(kFaultWrite))
        return 0;
    s.slowDown();
    uint32_t done = 0;
    bool ok = file->file.write(lpBuffer, nNumberOfBytesToWrite, done);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return ok ? 1 : 0;
}
#endif

NAVSIM_EXPORT BOOL RAPI_CALL CeReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
                                        DWORD* lpNumberOfBytesRead, rapi::OVERLAPPED*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeReadFile")) return 0;
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    OpenFile* file = s.find<OpenFile>(hFile);
    if (file == nullptr || !file->canRead || (lpBuffer == nullptr && nNumberOfBytesToRead > 0) ||
        s.fault(kFaultRead))
        return 0;
    uint32_t done = 0;
    if (!file->file.read(lpBuffer, nNumberOfBytesToRead, done)) return 0;
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return 1;
}

NAVSIM_EXPORT DWORD RAPI_CALL CeGetFileSize(HANDLE hFile, DWORD* lpFileSizeHigh) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeGetFileSize")) return 0;
    OpenFile* file = s.find<OpenFile>(hFile);
    uint64_t size = 0;
    if (file == nullptr || !file->file.size(size)) return 0xFFFFFFFFu;
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

#ifndef NAVSIM_PARTIAL
NAVSIM_EXPORT BOOL RAPI_CALL CeSetFileTime(HANDLE hFile, const rapi::FILETIME* lpCreationTime,
                                           const rapi::FILETIME* lpLastAccessTime,
                                           const rapi::FILETIME* lpLastWriteTime) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeSetFileTime")) return 0;
    OpenFile* file = s.find<OpenFile>(hFile);
    if (file == nullptr) return 0;
    return file->file.setTimes(lpCreationTime, lpLastAccessTime, lpLastWriteTime) ? 1 : 0;
}
#endif

NAVSIM_EXPORT HANDLE RAPI_CALL CeFindFirstFile(const WCHAR* lpFileName,
                                               rapi::CE_FIND_DATA* lpFindFileData) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeFindFirstFile")) return rapi::invalidHandleValue();
    if (!linkUp(s) || lpFindFileData == nullptr || s.fault(kFaultFind))
        return rapi::invalidHandleValue();
    std::u16string pattern = nulTerminated(lpFileName);
    size_t cut = pattern.find_last_of(u"\\/");
    if (cut == std::u16string::npos) return rapi::invalidHandleValue();
    std::u16string mask = pattern.substr(cut + 1);
    auto folder = resolve(s, cut == 0 ? std::u16string(u"\\") : pattern.substr(0, cut));
    if (!folder || mask.empty()) return rapi::invalidHandleValue();
    auto listed = lookUp(folder->host, mask);
    if (!listed) return rapi::invalidHandleValue();
    std::vector<navsim::host::Entry> entries;
    for (auto& entry : *listed)
        if (wildcardMatch(mask, toUtf16(entry.name))) entries.push_back(std::move(entry));
    // A stable order, so that runs over the same folder enumerate alike.
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    Enumeration found;
    for (const auto& [name, info] : entries) {
        HostPath entry{folder->host + "/" + name, folder->folded + "\\" + foldUtf8(name),
                       folder->depth + 1, name};
        std::u16string wide = toUtf16(name);
        if (wide.size() >= static_cast<size_t>(rapi::kMaxPath)) continue;
        rapi::CE_FIND_DATA data{};
        data.dwFileAttributes = attributesOf(s, entry, name, info);
        data.ftCreationTime = info.created;
        data.ftLastAccessTime = info.accessed;
        data.ftLastWriteTime = info.written;
        data.nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(info.size & 0xFFFFFFFFu);
        std::copy(wide.begin(), wide.end(), data.cFileName);
        found.entries.push_back(data);
    }
    if (found.entries.empty()) return rapi::invalidHandleValue();
    *lpFindFileData = found.entries[0];
    found.next = 1;
    return s.addHandle(std::move(found));
}

NAVSIM_EXPORT BOOL RAPI_CALL CeFindNextFile(HANDLE hFindFile, rapi::CE_FIND_DATA* lpFindFileData) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeFindNextFile")) return 0;
    Enumeration* found = s.find<Enumeration>(hFindFile);
    if (found == nullptr || lpFindFileData == nullptr || found->next >= found->entries.size())
        return 0;
    *lpFindFileData = found->entries[found->next++];
    return 1;
}

NAVSIM_EXPORT BOOL RAPI_CALL CeFindClose(HANDLE hFindFile) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeFindClose")) return 0;
    if (s.find<Enumeration>(hFindFile) == nullptr) return 0;
    s.handles.erase(reinterpret_cast<uintptr_t>(hFindFile));
    return 1;
}

NAVSIM_EXPORT BOOL RAPI_CALL CeCreateDirectory(const WCHAR* lpPathName,
                                               rapi::SECURITY_ATTRIBUTES*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeCreateDirectory")) return 0;
    auto path = resolveLinked(s, lpPathName);
    if (!path || path->depth == 0 || s.fault(kFaultCreateFolder)) return 0;
    return navsim::host::makeFolder(path->host) ? 1 : 0;
}

NAVSIM_EXPORT BOOL RAPI_CALL CeRemoveDirectory(const WCHAR* lpPathName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeRemoveDirectory")) return 0;
    auto path = resolveLinked(s, lpPathName);
    if (!path || path->depth == 0 || s.fault(kFaultRemoveFolder)) return 0;
    return navsim::host::removeFolder(path->host) ? 1 : 0;
}

NAVSIM_EXPORT BOOL RAPI_CALL CeDeleteFile(const WCHAR* lpFileName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeDeleteFile")) return 0;
    auto path = resolveLinked(s, lpFileName);
    if (!path || path->depth == 0 || !navsim::host::exists(path->host) ||
        navsim::host::isFolder(path->host) || s.fault(kFaultDelete))
        return 0;
    s.slowDown();
    return navsim::host::deleteFile(path->host) ? 1 : 0;
}

#ifndef NAVSIM_PARTIAL
NAVSIM_EXPORT BOOL RAPI_CALL CeMoveFile(const WCHAR* lpExistingFileName,
                                        const WCHAR* lpNewFileName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeMoveFile")) return 0;
    auto from = resolveLinked(s, lpExistingFileName);
    auto to = resolveLinked(s, lpNewFileName);
    if (!from || !to || from->depth == 0 || to->depth == 0 || s.fault(kFaultMove)) return 0;
    if (!navsim::host::exists(from->host)) return 0;
    s.slowDown();
    if (from->host == to->host && from->lastAsGiven == to->lastAsGiven) return 1;
    std::string target = to->host.substr(0, to->host.rfind('/') + 1) + to->lastAsGiven;
    // A new name that differs only in letter case names the moved entry itself: a case change.
    if (from->host == to->host) return navsim::host::rename(from->host, target, true) ? 1 : 0;
    if (navsim::host::exists(to->host)) return 0;
    return navsim::host::rename(from->host, target, false) ? 1 : 0;
}
#endif

NAVSIM_EXPORT BOOL RAPI_CALL CeCopyFile(const WCHAR* lpExistingFileName, const WCHAR* lpNewFileName,
                                        BOOL bFailIfExists) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeCopyFile")) return 0;
    auto from = resolveLinked(s, lpExistingFileName);
    auto to = resolveLinked(s, lpNewFileName);
    if (!from || !to || from->depth == 0 || to->depth == 0 || from->host == to->host) return 0;
    return navsim::host::copyFile(from->host, to->host, bFailIfExists != 0) ? 1 : 0;
}

#ifndef NAVSIM_PARTIAL
NAVSIM_EXPORT BOOL RAPI_CALL CeGetStoreInformation(rapi::STORE_INFORMATION* lpsi) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeGetStoreInformation")) return 0;
    if (!linkUp(s) || lpsi == nullptr) return 0;
    if (s.store) {
        *lpsi = *s.store;
        return 1;
    }
    uint64_t total = 0, free = 0;
    if (!navsim::host::volumeSpace(s.root, total, free)) return 0;
    auto clamp = [](uint64_t v) { return static_cast<DWORD>(std::min<uint64_t>(v, 0xFFFFFFFFu)); };
    lpsi->dwStoreSize = clamp(total);
    lpsi->dwFreeSize = clamp(free);
    return 1;
}
#endif

NAVSIM_EXPORT DWORD RAPI_CALL CeGetTempPath(DWORD nBufferLength, WCHAR* lpBuffer) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeGetTempPath")) return 0;
    if (!linkUp(s)) return 0;
    static const char16_t kTemp[] = u"\\Temp\\";
    DWORD length = static_cast<DWORD>(std::char_traits<char16_t>::length(kTemp));
    if (lpBuffer == nullptr || nBufferLength <= length) return length + 1;
    std::copy(kTemp, kTemp + length + 1, lpBuffer);
    return length;
}

NAVSIM_EXPORT void RAPI_CALL CeGetSystemInfo(rapi::SYSTEM_INFO* lpSystemInfo) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeGetSystemInfo")) return;
    if (lpSystemInfo == nullptr) return;
    *lpSystemInfo = rapi::SYSTEM_INFO{};
    lpSystemInfo->wProcessorArchitecture = 5;  // ARM
    lpSystemInfo->dwPageSize = 4096;
    lpSystemInfo->dwActiveProcessorMask = 1;
    lpSystemInfo->dwNumberOfProcessors = 1;
    lpSystemInfo->dwProcessorType = 2577;
    lpSystemInfo->dwAllocationGranularity = 65536;
}

NAVSIM_EXPORT void RAPI_CALL CeGlobalMemoryStatus(rapi::MEMORYSTATUS* lpmst) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeGlobalMemoryStatus")) return;
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

NAVSIM_EXPORT BOOL RAPI_CALL CeCreateProcess(const WCHAR*, const WCHAR*, rapi::SECURITY_ATTRIBUTES*,
                                             rapi::SECURITY_ATTRIBUTES*, BOOL, DWORD, void*, WCHAR*,
                                             rapi::STARTUPINFO*, rapi::PROCESS_INFORMATION*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeCreateProcess")) return 0;
    return 0;  // the simulated device runs no programs
}

NAVSIM_EXPORT BOOL RAPI_CALL CeEnumDBVolumes(rapi::CEGUID*, WCHAR*, DWORD) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeEnumDBVolumes")) return 0;
    return 0;  // no database volumes
}

NAVSIM_EXPORT BOOL RAPI_CALL CeFlushDBVol(rapi::CEGUID*) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeFlushDBVol")) return 0;
    return 0;
}

NAVSIM_EXPORT HRESULT RAPI_CALL CeRapiInitEx(rapi::RAPIINIT* pRapiInit) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeRapiInitEx")) return rapi::kFail;
    if (pRapiInit == nullptr || pRapiInit->cbSize != sizeof(rapi::RAPIINIT)) return kInvalidArg;
    s.closeLink();
    if (!s.event.create()) return rapi::kFail;
    pRapiInit->heRapiInit = s.event.handle();
    if (s.root.empty() || s.linkMode == LinkMode::Never) return rapi::kOk;
    pRapiInit->hrRapiInit = s.linkMode == LinkMode::Up ? rapi::kOk : rapi::kFail;
    s.linked = s.linkMode == LinkMode::Up;
    return s.event.signal() ? rapi::kOk : rapi::kFail;
}

NAVSIM_EXPORT HRESULT RAPI_CALL CeRapiInit() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeRapiInit")) return rapi::kFail;
    s.closeLink();
    s.linked = !s.root.empty() && s.linkMode == LinkMode::Up;
    return s.linked ? rapi::kOk : rapi::kFail;
}

#ifndef NAVSIM_PARTIAL
NAVSIM_EXPORT HRESULT RAPI_CALL CeRapiUninit() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.enter("CeRapiUninit")) return rapi::kFail;
    bool wasUp = s.linked;
    s.closeLink();
    s.owner = {};
    return wasUp ? rapi::kOk : rapi::kFail;
}
#endif

}  // extern "C"

namespace {

int controlRoot(State& s, const std::string& arg) {
    s.setRoot(arg);
    return 0;
}

int controlWriteDelay(State& s, const std::string& arg) {
    s.writeDelayUs = std::strtol(arg.c_str(), nullptr, 10);
    return 0;
}

int controlMainStore(State& s, const std::string& arg) {
    s.setMainStore(arg);
    return 0;
}

int controlFail(State& s, const std::string& arg) {
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

int controlLink(State& s, const std::string& arg) {
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

int controlStore(State& s, const std::string& arg) {
    if (arg.empty()) {
        s.store.reset();
        return 0;
    }
    unsigned long long total = 0, free = 0;
    if (std::sscanf(arg.c_str(), "%llu %llu", &total, &free) != 2) return -1;
    s.store = rapi::STORE_INFORMATION{static_cast<DWORD>(total), static_cast<DWORD>(free)};
    return 0;
}

int controlAttributes(State& s, const std::string& arg) {
    size_t eq = arg.rfind('=');
    if (eq == std::string::npos) return -1;
    std::string path = foldUtf8(arg.substr(0, eq));
    while (path.size() > 1 && path.back() == '\\')
        path.pop_back();
    s.attributeOverrides[path] = static_cast<DWORD>(std::strtoul(arg.c_str() + eq + 1, nullptr, 0));
    return 0;
}

int controlCalls(State& s, const std::string& arg) {
    if (arg.empty()) {
        int total = 0;
        for (const auto& [name, count] : s.calls)
            total += count;
        return total;
    }
    auto it = s.calls.find(arg);
    return it == s.calls.end() ? 0 : it->second;
}

int controlReset(State& s, const std::string&) {
    s.resetFaults();
    return 0;
}

struct ControlCommand {
    const char* name;
    int (*run)(State& s, const std::string& arg);
};

constexpr ControlCommand kControlCommands[] = {
    {"root", controlRoot},
    {"write-delay", controlWriteDelay},
    {"main-store", controlMainStore},
    {"fail", controlFail},
    {"link", controlLink},
    {"store", controlStore},
    {"attributes", controlAttributes},
    {"calls", controlCalls},
    {"reset", controlReset},
};

}  // namespace

extern "C" {

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
//   calls NAME         how many times the entry point NAME was called ("" = all; "other
//                      thread": the calls refused because another thread owns the library)
//   reset              no faults, link starts complete, counts zero, no owning thread (root and
//                      main store stay)
NAVSIM_EXPORT int NavsimControl(const char* command, const char* argument) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.configure();
    const std::string cmd = command ? command : "";
    const std::string arg = argument ? argument : "";
    for (const ControlCommand& known : kControlCommands)
        if (cmd == known.name) return known.run(s, arg);
    return -1;
}

}  // extern "C"
