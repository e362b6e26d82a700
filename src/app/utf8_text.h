#pragma once

#include <string>
#include <string_view>

// UTF-8 as the web view speaks it, next to the UTF-16 of the script boundary. Malformed input
// and lone surrogates become U+FFFD; nothing is read past the end of the input.
namespace utf8 {

// Decodes the character at text[i] and moves i past it; a malformed byte decodes as U+FFFD and
// is skipped alone.
char32_t decode(std::string_view text, size_t& i);
void append(std::string& out, char32_t cp);

std::u16string toUtf16(std::string_view text);
std::string fromUtf16(std::u16string_view text);

}  // namespace utf8
