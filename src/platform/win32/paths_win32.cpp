#include "platform/win32/win32_util.h"
// After windows.h, which it needs.
#include <shlobj.h>

#include <string>

#include "platform/codepage.h"
#include "platform/full_path.h"
#include "platform/paths.h"

namespace platform {

namespace {

// A folder the system names in UTF-16, as ANSI text that still reaches it: when the name holds
// characters the code page lacks (a user name in another script), its short form, which is
// plain ASCII, takes its place.
std::string reachableAnsi(const std::wstring& wide) {
    std::u16string text(wide.begin(), wide.end());
    std::string ansi = utf16ToAnsi(text);
    if (ansiToUtf16(ansi) == text) return ansi;
    DWORD need = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (need == 0) return ansi;
    std::wstring shortName(need, L'\0');
    DWORD got = GetShortPathNameW(wide.c_str(), shortName.data(), need);
    if (got == 0 || got >= need) return ansi;
    shortName.resize(got);
    return utf16ToAnsi(std::u16string(shortName.begin(), shortName.end()));
}

std::string withSeparator(std::string folder) {
    if (!folder.empty() && !isSeparatorAt(folder, folder.size() - 1)) folder += '\\';
    return folder;
}

std::string knownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
    return reachableAnsi(path);
}

// Whether `path` is `folder` or lies inside it; letters compare without regard to case, as the
// file system compares them.
bool isInside(const std::string& path, const std::string& folder) {
    std::u16string p = ansiToUtf16(path);
    std::u16string f = ansiToUtf16(win32::withoutTrailingSeparator(folder));
    if (f.empty() || p.size() < f.size()) return false;
    if (CompareStringOrdinal(reinterpret_cast<const wchar_t*>(p.data()), static_cast<int>(f.size()),
                             reinterpret_cast<const wchar_t*>(f.data()), static_cast<int>(f.size()),
                             TRUE) != CSTR_EQUAL)
        return false;
    return p.size() == f.size() || p[f.size()] == u'\\' || p[f.size()] == u'/';
}

}  // namespace

std::string programFile() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) return {};
        // A result that fills the buffer may have been cut.
        if (got < path.size()) {
            path.resize(got);
            return reachableAnsi(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string tempFolder() {
    // GetTempPath takes TMP, then TEMP, then the user's profile folder, and ends with '\'.
    DWORD need = GetTempPathW(0, nullptr);
    if (need == 0) return {};
    std::wstring path(need, L'\0');
    DWORD got = GetTempPathW(need, path.data());
    if (got == 0 || got >= need) return {};
    path.resize(got);
    return withSeparator(reachableAnsi(path));
}

std::string userConfigFolder() {
    // The roaming application-data folder: the user's settings follow the user.
    return withSeparator(knownFolder(CSIDL_APPDATA));
}

bool isWritableFolder(const std::string& folder) {
    std::optional<std::string> full = fullPath(folder);
    if (!full) return false;
    // Whether the user may write here is what the system says when asked to: a probe file that
    // goes when its handle closes.
    std::string probe = joinPath(*full, "vantu-" + win32::randomName(10) + ".tmp");
    win32::Handle file(CreateFileA(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.valid();
}

bool isPortableFolder(const std::string& folder) {
    std::optional<std::string> full = fullPath(folder);
    if (!full) return false;
    // A program under Program Files or the system folder is installed for everyone: even run
    // elevated, when it could write there, its settings belong with the user. One under the
    // user's own program folder was installed for the user, and its uninstaller may be asked to
    // keep the settings.
    std::string userPrograms = knownFolder(CSIDL_LOCAL_APPDATA);
    if (!userPrograms.empty()) userPrograms = joinPath(userPrograms, "Programs");
    for (const std::string& installed :
         {knownFolder(CSIDL_PROGRAM_FILES), knownFolder(CSIDL_PROGRAM_FILESX86),
          knownFolder(CSIDL_WINDOWS), userPrograms}) {
        if (!installed.empty() && isInside(*full, installed)) return false;
    }
    return isWritableFolder(*full);
}

}  // namespace platform
