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
// device-connection software may demand. This file holds the entry points; the state behind them
// is in navsim_state.*, the simulator's own control in navsim_control.cpp and the PC's side
// (files, folders, the link event) in navsim_host_*.cpp.
#include <cstring>

#include "navsim_state.h"

using namespace navsim;

namespace {

// What a search finds of the folder's entries; names too long for the device's paths are not
// seen.
Enumeration enumerate(const State& s, const HostPath& folder,
                      const std::vector<navsim::host::Entry>& entries) {
    Enumeration found;
    for (const auto& [name, info] : entries) {
        HostPath entry{folder.host + "/" + name, folder.folded + "\\" + foldUtf8(name),
                       folder.depth + 1, name};
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
    return found;
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
    Enumeration found = enumerate(s, *folder, entries);
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
