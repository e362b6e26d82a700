#include <windows.h>

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

EventWait waitForRapiEvent(rapi::HANDLE event, uint32_t milliseconds) {
    if (event == nullptr || event == rapi::invalidHandleValue()) return EventWait::Failed;
    switch (WaitForSingleObject(static_cast<HANDLE>(event), milliseconds)) {
        case WAIT_OBJECT_0:
            return EventWait::Signaled;
        case WAIT_TIMEOUT:
            return EventWait::TimedOut;
        default:
            return EventWait::Failed;
    }
}

}  // namespace platform
