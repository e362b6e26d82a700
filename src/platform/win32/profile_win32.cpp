#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/full_path.h"
#include "platform/os_error.h"
#include "platform/profile.h"
#include "platform/win32/win32_util.h"

// The system's own profile functions, so that files stay exactly as other Windows programs read
// and write them. Where wine, on which the Windows build is tested, differs from Windows, Windows
// is followed and the difference is named here:
// - Windows leaves the lines it does not change as they were; wine rewrites the whole file with
//   CRLF line ends and without blank lines.
// - Both give GetPrivateProfileInt's default for a key whose value is empty, where the POSIX side
//   reads 0.
namespace platform {

namespace {

// A name without a folder would send the profile functions to the Windows folder.
std::string locate(const std::string& file) {
    if (isAbsolutePath(file)) return file;
    return fullPath(file).value_or(file);
}

}  // namespace

std::string getProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& file,
                             size_t bufferSize) {
    if (bufferSize == 0) return {};
    DWORD size = bufferSize > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(bufferSize);
    // A value cut at the buffer's end may leave a byte unwritten before the terminator: the
    // buffer starts zeroed and the text is measured, not taken from the count returned.
    std::vector<char> buffer(size, '\0');
    win32::syscalls().getProfileString(section.c_str(), key.c_str(), defaultValue.c_str(),
                                       buffer.data(), size, locate(file).c_str());
    std::string value(buffer.data(), strnlen(buffer.data(), size - 1));
    // A cut value never ends in half a double-byte character.
    if (value.size() + 1 >= size) {
        size_t whole = 0;
        while (whole < value.size())
            whole += IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(value[whole])) ? 2 : 1;
        if (whole > value.size()) value.pop_back();
    }
    return value;
}

int getProfileInt(const std::string& section, const std::string& key, int defaultValue,
                  const std::string& file) {
    // The value comes back as UINT; a negative number (a window left of the main screen) is
    // the same 32 bits.
    return static_cast<int>(win32::syscalls().getProfileInt(section.c_str(), key.c_str(),
                                                            defaultValue, locate(file).c_str()));
}

bool writeProfileString(const std::string& section, const std::string& key, const char* value,
                        const std::string& file, OsError* error) {
    std::string path = locate(file);
    // Removing a key from a file that does not exist leaves nothing to create.
    if (value == nullptr && win32::attributesAt(path) == INVALID_FILE_ATTRIBUTES) return true;
    return win32::syscalls().writeProfileString(section.c_str(), key.c_str(), value,
                                                path.c_str()) ||
           failWithOsError("write", path, error);
}

}  // namespace platform
