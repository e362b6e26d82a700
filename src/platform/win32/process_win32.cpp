#include "platform/win32/win32_util.h"
// After windows.h, which they need.
#include <objbase.h>

#include "platform/os_error.h"
#include "platform/process.h"

namespace platform {

bool startProgram(const std::string& path, OsError* error) {
    if (path.empty()) return false;
    // "Open" on a folder would show it in a window: that is not starting a program.
    DWORD attributes = win32::attributesAt(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // The shell may hand the file to an extension that needs COM on this thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE result =
        win32::syscalls().shellExecute(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOW);
    // Values above 32 mean success; the shell leaves the cause as the thread's last error.
    bool started = reinterpret_cast<INT_PTR>(result) > 32 || failWithOsError("start", path, error);
    if (SUCCEEDED(com)) CoUninitialize();
    return started;
}

}  // namespace platform
