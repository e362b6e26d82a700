#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Standard Base64 (RFC 4648, "+/" with "=" padding).

// The text for `bytes`; with `groupsPerLine`, "\r\n" after every that many full four-character
// groups.
std::string base64Encode(std::string_view bytes, size_t groupsPerLine = 0);
// The bytes of padded Base64 text without white space; nothing for any other text.
std::optional<std::string> base64Decode(std::string_view text);
