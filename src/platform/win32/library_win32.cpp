#include <windows.h>

#include "platform/library.h"

namespace platform {

bool Library::load(const std::string& name) {
    release();
    if (name.empty()) return false;
    // A library that is missing or broken is an answer, not a reason for a system dialog.
    DWORD previous = 0;
    BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    handle_ = reinterpret_cast<void*>(LoadLibraryA(name.c_str()));
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

}  // namespace platform
