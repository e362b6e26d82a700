#include "platform/win32/win32_util.h"
// After windows.h, which it needs.
#include <sddl.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/file_ops.h"
#include "platform/paths.h"

// The run's working folder lives in the user's temporary folder, which Windows already keeps to
// the user (and to administrators). The folder gets, besides, a protected access list that lets
// in the user alone, so that it stays closed when the temporary folder is a shared one (TMP
// pointed at C:\Temp). Where that list cannot be built the folder takes its parent's.
namespace platform {

namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

// "D:P(A;OICI;FA;;;<user>)": full access for the user, inherited by everything inside, and
// nothing inherited from the parent.
std::unique_ptr<void, LocalFreer> userOnlyDescriptor() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return nullptr;
    win32::Handle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return nullptr;
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return nullptr;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    char* sid = nullptr;
    if (!ConvertSidToStringSidA(user->User.Sid, &sid)) return nullptr;
    std::string sddl = std::string("D:P(A;OICI;FA;;;") + sid + ")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return nullptr;
    return std::unique_ptr<void, LocalFreer>(descriptor);
}

// A real folder, not a link to one somewhere else.
bool isPlainFolder(const std::string& path) {
    DWORD attributes = win32::attributesAt(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A run keeps its folder open without letting anyone delete it for as long as it lives; the
// system closes the handle however the run ends. A folder that nobody holds is left alone while
// it is this new (100 ns ticks): its run may be between making it and opening it.
constexpr ULONGLONG kUnheldGrace = 2ull * 10000000ull;
// The length of a run folder's random part.
constexpr size_t kRandomLength = 10;

HANDLE openFolder(const std::string& folder, DWORD access, DWORD share) {
    return CreateFileA(folder.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

ULONGLONG ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the run that made this folder has ended: the folder can be opened for deletion. The
// age comes first: a probe keeps a new run from opening its folder for a moment.
bool runEnded(const std::string& folder, const FILETIME& lastWrite) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (ticks(lastWrite) + kUnheldGrace >= ticks(now)) return false;
    HANDLE probe =
        openFolder(folder, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    return true;
}

// Removes the run folders that earlier runs left in `parent` when they were killed: only plain
// folders of this program's name pattern (the user's temporary folder lets in the user alone),
// and only when their run has ended.
void removeEndedRuns(const std::string& parent, const std::string& own) {
    WIN32_FIND_DATAA found;
    const std::string prefix(kRunFolderPrefix);
    HANDLE find = FindFirstFileA((parent + prefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> ended;
    do {
        std::string path = parent + found.cFileName;
        if (std::string(found.cFileName).size() != prefix.size() + kRandomLength ||
            path + "\\" == own || !isPlainFolder(path))
            continue;
        if (runEnded(path, found.ftLastWriteTime)) ended.push_back(path);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    for (const std::string& path : ended)
        removeTree(path);
}

// Opens the run's own folder to hold it, waiting out another run's probe.
HANDLE holdFolder(const std::string& folder) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE held = openFolder(folder, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (held != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) return held;
        Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

struct RunFolder {
    std::mutex mutex;
    std::string path;  // ANSI, with the final separator; empty until made
    bool registered = false;
    HANDLE held = INVALID_HANDLE_VALUE;  // the folder, open for as long as the run lives
};

RunFolder& runFolder() {
    static RunFolder folder;
    return folder;
}

void removeRunFolder() {
    RunFolder& folder = runFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    if (folder.held != INVALID_HANDLE_VALUE) CloseHandle(folder.held);
    folder.held = INVALID_HANDLE_VALUE;
    if (!folder.path.empty()) removeTree(win32::withoutTrailingSeparator(folder.path));
    folder.path.clear();
}

}  // namespace

std::string createPrivateFolder(const std::string& parent) {
    if (parent.empty()) return {};
    std::string base = parent;
    if (!isSeparatorAt(base, base.size() - 1)) base += '\\';
    auto descriptor = userOnlyDescriptor();
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = descriptor.get();
    SECURITY_ATTRIBUTES* attributes = descriptor ? &security : nullptr;
    // CreateDirectory fails on a name that exists, whatever stands there; a fresh random name is
    // tried then, as nobody can have planted every one.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = base + std::string(kRunFolderPrefix) + win32::randomName(kRandomLength);
        if (CreateDirectoryA(path.c_str(), attributes))
            return isPlainFolder(path) ? path + '\\' : std::string();
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

std::string privateFolder() {
    RunFolder& folder = runFolder();
    std::lock_guard<std::mutex> lock(folder.mutex);
    if (!folder.path.empty() && isPlainFolder(folder.path)) return folder.path;
    const std::string parent = tempFolder();
    folder.path = createPrivateFolder(parent);
    if (folder.path.empty()) return {};
    if (folder.held != INVALID_HANDLE_VALUE) CloseHandle(folder.held);
    folder.held = holdFolder(folder.path);
    removeEndedRuns(joinPath(parent, ""), folder.path);
    if (!folder.registered) {
        folder.registered = true;
        std::atexit(removeRunFolder);
    }
    return folder.path;
}

bool runMayBeLive(const std::string& name) {
    if (name == runName()) return true;
    // Only what a run folder's random part can be: nothing that leads elsewhere.
    if (name.size() != kRandomLength ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos)
        return false;
    const std::string folder = joinPath(tempFolder(), std::string(kRunFolderPrefix) + name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(folder.c_str(), GetFileExInfoStandard, &data)) return false;
    return !isPlainFolder(folder) || !runEnded(folder, data.ftLastWriteTime);
}

}  // namespace platform
