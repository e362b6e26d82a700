#include "app/win32/single_instance.h"

#include <shellapi.h>

#include <string_view>

namespace {
// Must be initialised: only initialised data goes into the named section.
volatile LONG_PTR gSlot __attribute__((section(".shared"), shared)) = 0;
}  // namespace

namespace instance_slot {

HWND runningWindow() {
    auto window = reinterpret_cast<HWND>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile*>(&gSlot), nullptr, nullptr));
    // A slot left behind by a process that ended without releasing it names no window.
    return window != nullptr && IsWindow(window) ? window : nullptr;
}

void claim(HWND window) {
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&gSlot), window);
}

void release(HWND window) {
    InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&gSlot), nullptr, window);
}

void present(HWND window) {
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

bool isRunningQuery() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return false;
    bool query = count == 2 && std::wstring_view(arguments[1]) == L"--running";
    LocalFree(arguments);
    return query;
}

}  // namespace instance_slot
