#pragma once

#include <string>
#include <string_view>

// Message digests by the system's own library (libcrypto on POSIX, CNG on Windows).
namespace platform {

enum class DigestKind {
    Md5,     // RFC 1321: 16 bytes
    Sha256,  // FIPS 180-4: 32 bytes
};

// The digest's bytes; empty when the library fails.
std::string digestOf(DigestKind kind, std::string_view bytes);
// The digest of a whole local file; empty when the file cannot be read to its end.
std::string digestOfFile(DigestKind kind, const std::string& path);

// Lowercase hexadecimal, two digits per byte in the given order.
std::string hexText(std::string_view bytes);

// MD5 in hexadecimal, of the bytes and of a whole file (empty when it cannot be read).
std::string md5Hex(std::string_view bytes);
std::string md5HexOfFile(const std::string& path);

}  // namespace platform
