#include "platform/win32/win32_util.h"
// After windows.h, which it needs.
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/os_error.h"
#include "platform/private_folder.h"
#include "platform/win32/syscalls_win32.h"

// The run's working folder lives in the user's temporary folder, which Windows already keeps to
// the user (and to administrators). The folder gets, besides, a protected access list that lets
// in the user alone, so that it stays closed when the temporary folder is a shared one (TMP
// pointed at C:\Temp). Where that list cannot be built the folder takes its parent's. A run
// keeps its folder open without letting anyone delete it for as long as it lives; the system
// closes the handle however the run ends.
namespace platform::run_folder {

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

// A real folder, not a link to one somewhere else. (The access list is the folder's own, set
// when it was made.)
bool isPlainFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

HANDLE openFolder(const std::string& folder, DWORD access, DWORD share) {
    return win32::syscalls().createFile(folder.c_str(), access, share, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE held = INVALID_HANDLE_VALUE;

}  // namespace

std::string makeClosed(const std::string& base, OsError* error) {
    auto descriptor = userOnlyDescriptor();
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = descriptor.get();
    SECURITY_ATTRIBUTES* attributes = descriptor ? &security : nullptr;
    // CreateDirectory fails on a name that exists, whatever stands there; a fresh random name is
    // tried then, as nobody can have planted every one.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = base + win32::randomName(kRandomLength);
        if (win32::syscalls().createDirectory(path.c_str(), attributes))
            return isPlainFolder(win32::attributesAt(path)) ? path + '\\' : std::string();
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            failWithOsError("create folder", path, error);
            return {};
        }
    }
    return {};
}

Found whatStandsAt(const std::string& path) {
    DWORD attributes = win32::attributesAt(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return Found::Nothing;
    return isPlainFolder(attributes) ? Found::Closed : Found::Other;
}

std::string runtimeFolder() {
    return {};
}

void hold(const std::string& folder) {
    release();
    // Waits out another run's probe.
    for (int attempt = 0; attempt < 50; ++attempt) {
        held = openFolder(folder, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (held != INVALID_HANDLE_VALUE) return;
        if (GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(10);
    }
    failWithOsError("hold", folder);
}

void release() {
    if (held != INVALID_HANDLE_VALUE) win32::syscalls().closeHandle(held);
    held = INVALID_HANDLE_VALUE;
}

bool isHeld(const std::string& folder) {
    win32::Handle probe(
        openFolder(folder, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    return probe.get() == INVALID_HANDLE_VALUE;
}

unsigned long processId() {
    return GetCurrentProcessId();
}

}  // namespace platform::run_folder
