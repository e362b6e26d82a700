#pragma once

#include <string>
#include <string_view>

// Conversions between the system ANSI code page and Unicode. On Windows the ANSI code page is the
// process code page; elsewhere it is GBK (code page 936). Characters the target cannot represent,
// and malformed input, become '?' (the code page's default character); nothing throws and nothing
// is read past the end of the input. Embedded NULs are converted like any other character.
namespace platform {

std::u16string ansiToUtf16(std::string_view ansi);
std::string utf16ToAnsi(std::u16string_view wide);

// GBK (code page 936) whatever the system's code page is, for text that declares it.
std::u16string gbkToUtf16(std::string_view gbk);

// For the terminal and the GTK host, which speak UTF-8.
std::string utf8ToAnsi(std::string_view utf8);
std::string ansiToUtf8(std::string_view ansi);

// Length in bytes of the longest prefix of `ansi` of at most `maxBytes` bytes that does not end in
// the middle of a double-byte character.
size_t ansiPrefixLength(std::string_view ansi, size_t maxBytes);

}  // namespace platform
