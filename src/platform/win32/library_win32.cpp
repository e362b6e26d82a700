#include <windows.h>

#include "platform/library.h"

namespace platform {

namespace {

bool isFullPath(const std::string& name) {
    return (name.size() > 2 && name[1] == ':' && (name[2] == '\\' || name[2] == '/')) ||
           name.rfind("\\\\", 0) == 0;
}

HMODULE loadQuietly(const std::string& name) {
    // A full path's library takes the libraries it needs from its own folder and the system
    // folder; LoadLibraryA would look beside the program first.
    DWORD flags = isFullPath(name) ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                   : LOAD_LIBRARY_SEARCH_SYSTEM32;
    HMODULE module = LoadLibraryExA(name.c_str(), nullptr, flags);
    // Windows 7 without its loader update knows none of these flags; the library's own folder
    // then still comes before the program's.
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER && isFullPath(name))
        module = LoadLibraryExA(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}

}  // namespace

bool Library::load(const std::string& name) {
    release();
    if (name.empty()) return false;
    // A library that is missing or broken is an answer, not a reason for a system dialog.
    DWORD previous = 0;
    BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    handle_ = reinterpret_cast<void*>(loadQuietly(name));
    if (quiet) SetThreadErrorMode(previous, nullptr);
    return handle_ != nullptr;
}

void Library::release() {
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

Library::AnyFunction Library::functionAddress(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<AnyFunction>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void loadLibrariesFromSystemOnly() {
    // Looked up: Windows 7 has it only with its loader update.
    using SetDefault = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefault>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault != nullptr)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    else
        SetDllDirectoryA("");  // at least the current folder leaves the search
}

}  // namespace platform
