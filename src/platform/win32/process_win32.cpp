#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include "platform/process.h"

namespace platform {

bool startProgram(const std::string& path) {
    if (path.empty()) return false;
    // "Open" on a folder would show it in a window: that is not starting a program.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // The shell may hand the file to an extension that needs COM on this thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE result = ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOW);
    if (SUCCEEDED(com)) CoUninitialize();
    // Values above 32 mean success.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
