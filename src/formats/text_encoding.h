#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Conversions between ANSI text (the system code page, GBK on our users' systems) and the UTF-16
// text of the navigator's files. The buffer conversions stop at the first NUL; the string
// conversions keep embedded NULs in place and in number.

// A new NUL-terminated UTF-16 buffer for NUL-terminated ANSI text; null for null.
std::unique_ptr<char16_t[]> toWideBuffer(const char* ansi);
// A new NUL-terminated ANSI buffer for NUL-terminated UTF-16 text; null for null. Characters the
// code page cannot represent become '?'.
std::unique_ptr<char[]> toAnsiBuffer(const char16_t* wide);

std::string wideToAnsiString(std::u16string wide);
std::u16string ansiToWideString(std::string ansi);

// The text of a fixed UTF-16 field (up to its first NUL, at most `units` units) as ANSI text.
std::string fieldToAnsi(const char16_t* field, size_t units);
