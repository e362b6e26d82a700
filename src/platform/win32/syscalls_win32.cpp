#include "platform/win32/syscalls_win32.h"
// After windows.h, which it needs.
#include <shellapi.h>

namespace platform::win32 {

Syscalls& syscalls() {
    static Syscalls table = [] {
        Syscalls real;
        real.shellExecute = &::ShellExecuteA;
        real.shFileOperation = &::SHFileOperationA;
        return real;
    }();
    return table;
}

}  // namespace platform::win32
