#include "formats/base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> decodingTable() {
    std::array<int8_t, 256> table{};
    for (int8_t& v : table)
        v = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr std::array<int8_t, 256> kValues = decodingTable();

uint32_t byteAt(std::string_view bytes, size_t i) {
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
}

}  // namespace

std::string base64Encode(std::string_view bytes, size_t groupsPerLine) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4 +
                (groupsPerLine ? bytes.size() / 3 / groupsPerLine * 2 : 0));
    size_t groups = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        const uint32_t v =
            byteAt(bytes, i) << 16 | byteAt(bytes, i + 1) << 8 | byteAt(bytes, i + 2);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += n > 1 ? kAlphabet[v >> 6 & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
        if (n == 3 && groupsPerLine != 0 && ++groups % groupsPerLine == 0) out += "\r\n";
    }
    return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        // Padding only at the end: "xx==" or "xxx=".
        const size_t pad = !last ? 0 : text[i + 3] != '=' ? 0 : text[i + 2] != '=' ? 1 : 2;
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int8_t digit = k < 4 - pad ? kValues[static_cast<unsigned char>(text[i + k])] : 0;
            if (digit < 0) return std::nullopt;
            v = v << 6 | static_cast<uint32_t>(digit);
        }
        // Bits below the last byte must be zero, so that one text means one set of bytes.
        if ((pad == 1 && (v & 0xFF) != 0) || (pad == 2 && (v & 0xFFFF) != 0)) return std::nullopt;
        out += static_cast<char>(v >> 16 & 0xFF);
        if (pad < 2) out += static_cast<char>(v >> 8 & 0xFF);
        if (pad < 1) out += static_cast<char>(v & 0xFF);
    }
    return out;
}
