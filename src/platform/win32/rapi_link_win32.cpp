#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include "platform/rapi_link.h"

namespace platform {

std::string rapiLibraryName() {
    char folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    // Without the system folder there is no full path, and a bare name would let the loader
    // search the current folder.
    if (length == 0 || length >= sizeof folder) return {};
    return std::string(folder, length) + "\\rapi.dll";
}

RapiApartment::RapiApartment()
    : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

RapiApartment::~RapiApartment() {
    if (initialised_) CoUninitialize();
}

RapiWake::RapiWake() {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // resets as a wait ends
    if (event != nullptr) read_ = reinterpret_cast<intptr_t>(event);
}

RapiWake::~RapiWake() {
    if (read_ != -1) CloseHandle(reinterpret_cast<HANDLE>(read_));
}

void RapiWake::wake() {
    SetEvent(reinterpret_cast<HANDLE>(read_));
}

namespace {

void dispatchMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

EventWait waitForRapiEvent(rapi::HANDLE event, RapiWake& wake, uint32_t milliseconds) {
    HANDLE handles[2] = {reinterpret_cast<HANDLE>(wake.handle()), static_cast<HANDLE>(event)};
    DWORD count = event != nullptr && event != rapi::invalidHandleValue() ? 2 : 1;
    ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        DWORD left = INFINITE;
        if (milliseconds != kWaitForever) {
            ULONGLONG now = GetTickCount64();
            left = now >= end ? 0 : static_cast<DWORD>(end - now);
        }
        DWORD got = MsgWaitForMultipleObjects(count, handles, FALSE, left, QS_ALLINPUT);
        if (got == WAIT_OBJECT_0) return EventWait::Woken;
        if (got == WAIT_OBJECT_0 + 1 && count == 2) return EventWait::Signaled;
        if (got == WAIT_TIMEOUT) return EventWait::TimedOut;
        if (got != WAIT_OBJECT_0 + count) return EventWait::Failed;
        // The apartment's messages (the remote API's own COM calls among them) go on meanwhile.
        dispatchMessages();
    }
}

}  // namespace platform
