#pragma once

#include <filesystem>
#include <string>

#include "platform/codepage.h"

// A test's ANSI path as the standard library's path and back. The path goes through UTF-16, so
// that it names the same file on both platforms: mingw's library takes narrow text byte by byte
// as Latin-1, which would garble every GBK name.
inline std::filesystem::path nativePath(const std::string& ansi) {
    return std::filesystem::path(platform::ansiToUtf16(ansi));
}

inline std::string ansiPath(const std::filesystem::path& path) {
    return platform::utf16ToAnsi(path.u16string());
}
