#include "platform/digest.h"

namespace platform {

std::string hexText(std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
    }
    return out;
}

std::string md5Hex(std::string_view bytes) {
    return hexText(digestOf(DigestKind::Md5, bytes));
}

std::string md5HexOfFile(const std::string& path) {
    return hexText(digestOfFile(DigestKind::Md5, path));
}

}  // namespace platform
