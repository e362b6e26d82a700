#pragma once

#include <string>
#include <string_view>

// Message digests, written as lowercase hexadecimal digits (two per byte, in digest order).
namespace platform {

// MD5 (RFC 1321) of the bytes.
std::string md5Hex(std::string_view bytes);
// MD5 of a whole local file; empty text when the file cannot be read.
std::string md5HexOfFile(const std::string& path);

}  // namespace platform
