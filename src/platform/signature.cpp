#include "platform/signature.h"

#include <array>
#include <cstdint>

#include "platform/digest.h"

namespace platform {

namespace {

constexpr size_t kPointBytes = 65;
constexpr size_t kScalarBytes = 32;
constexpr size_t kSignatureBytes = 64;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Standard base64 with its padding; white space anywhere is passed over. Nothing for any other
// character, a length that is not whole groups, or padding before the end.
std::optional<std::string> fromBase64(std::string_view text) {
    std::string out;
    uint32_t group = 0;
    int digits = 0, padding = 0;
    for (char c : text) {
        if (isSpace(c)) continue;
        int value = c == '=' ? 0 : base64Digit(c);
        if (value < 0 || (padding > 0 && c != '=')) return std::nullopt;
        if (c == '=') ++padding;
        group = group << 6 | static_cast<uint32_t>(value);
        if (++digits < 4) continue;
        if (padding > 2) return std::nullopt;
        for (int i = 0; i < 3 - padding; ++i)
            out += static_cast<char>(group >> (16 - 8 * i) & 0xFF);
        group = 0;
        digits = 0;
        if (padding > 0) padding = 3;  // nothing may follow
    }
    if (digits != 0) return std::nullopt;
    return out;
}

std::string toBase64(std::string_view bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        if (n > 1) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (n > 2) group |= static_cast<uint8_t>(bytes[i + 2]);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? kDigits[group >> (18 - 6 * k) & 0x3F] : '=';
    }
    return out;
}

std::optional<std::string> fromHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high << 4 | low);
    }
    return out;
}

// The bytes of the first PEM block of the given label.
std::optional<std::string> pemBlock(std::string_view pem, std::string_view label) {
    std::string begin = "-----BEGIN " + std::string(label) + "-----";
    std::string end = "-----END " + std::string(label) + "-----";
    size_t from = pem.find(begin);
    if (from == std::string_view::npos) return std::nullopt;
    from += begin.size();
    size_t to = pem.find(end, from);
    if (to == std::string_view::npos) return std::nullopt;
    return fromBase64(pem.substr(from, to - from));
}

// The DER encodings openssl writes for a P-256 key: fixed bytes around the scalar and the
// point, so that a key is read by comparing them, not by parsing.
struct KeyLayout {
    std::string_view label;
    std::string_view before;   // the bytes before the scalar
    std::string_view between;  // between the scalar and the point
};
constexpr std::string_view kSec1Before{"\x30\x77\x02\x01\x01\x04\x20", 7};
constexpr std::string_view kSec1Between{
    "\xa0\x0a\x06\x08\x2a\x86\x48\xce\x3d\x03\x01\x07\xa1\x44\x03\x42\x00", 17};
constexpr std::string_view kPkcs8Before{
    "\x30\x81\x87\x02\x01\x00\x30\x13\x06\x07\x2a\x86\x48\xce\x3d\x02\x01\x06\x08\x2a\x86\x48"
    "\xce\x3d\x03\x01\x07\x04\x6d\x30\x6b\x02\x01\x01\x04\x20",
    36};
constexpr std::string_view kPkcs8Between{"\xa1\x44\x03\x42\x00", 5};
constexpr std::array<KeyLayout, 2> kKeyLayouts{{
    {"EC PRIVATE KEY", kSec1Before, kSec1Between},
    {"PRIVATE KEY", kPkcs8Before, kPkcs8Between},
}};

std::optional<SigningKey> keyOf(std::string_view der, const KeyLayout& layout) {
    const size_t total = layout.before.size() + kScalarBytes + layout.between.size() + kPointBytes;
    if (der.size() != total || der.substr(0, layout.before.size()) != layout.before ||
        der.substr(layout.before.size() + kScalarBytes, layout.between.size()) != layout.between)
        return std::nullopt;
    SigningKey key{std::string(der.substr(layout.before.size(), kScalarBytes)),
                   std::string(der.substr(total - kPointBytes))};
    if (key.point[0] != '\x04') return std::nullopt;
    return key;
}

}  // namespace

std::optional<std::string> readPublicKey(std::string_view hex) {
    std::optional<std::string> point = fromHex(hex);
    if (!point || point->size() != kPointBytes || (*point)[0] != '\x04') return std::nullopt;
    return point;
}

std::optional<SigningKey> readSigningKey(std::string_view pem) {
    for (const KeyLayout& layout : kKeyLayouts) {
        if (std::optional<std::string> der = pemBlock(pem, layout.label))
            if (std::optional<SigningKey> key = keyOf(*der, layout)) return key;
    }
    return std::nullopt;
}

SignatureCheck checkFileSignature(const std::string& path, std::string_view point,
                                  std::string_view signature) {
    std::optional<std::string> raw = fromBase64(signature);
    if (!raw || raw->size() != kSignatureBytes) return SignatureCheck::Malformed;
    if (point.size() != kPointBytes) return SignatureCheck::Failed;
    std::string digest = digestOfFile(DigestKind::Sha256, path);
    if (digest.empty()) return SignatureCheck::Unreadable;
    return ecdsa::verifyDigest(digest, point, *raw);
}

std::string signFile(const std::string& path, const SigningKey& key) {
    std::string digest = digestOfFile(DigestKind::Sha256, path);
    if (digest.empty()) return {};
    std::string raw = ecdsa::signDigest(digest, key);
    if (raw.size() != kSignatureBytes ||
        ecdsa::verifyDigest(digest, key.point, raw) != SignatureCheck::Valid)
        return {};
    return toBase64(raw);
}

}  // namespace platform
