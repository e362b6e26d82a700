#pragma once

#include <optional>
#include <string>
#include <string_view>

// Signatures of the programs that updates bring: ECDSA over the curve P-256 with SHA-256, made
// and checked by the system's own library (libcrypto on POSIX, CNG on Windows). Keys and
// signatures as text:
//   public key   the uncompressed point (0x04, X, Y: 65 bytes) in hexadecimal, as the build
//                setting carries it (cmake/update_key.cmake makes it from a PEM file)
//   signing key  the PEM file openssl writes for a P-256 key, unencrypted: SEC1 ("EC PRIVATE
//                KEY", `openssl ecparam -genkey`) or PKCS#8 ("PRIVATE KEY", `openssl genpkey`)
//   signature    r and s, 32 bytes each, big-endian (64 bytes: the form CNG takes), in base64
namespace platform {

struct SigningKey {
    std::string scalar;  // 32 bytes, big-endian
    std::string point;   // 65 bytes
};

// The point of a public key from its text; nothing unless it is 65 bytes starting with 0x04.
std::optional<std::string> readPublicKey(std::string_view hex);
// The key of a PEM text; nothing unless it holds a P-256 key in one of the two forms.
std::optional<SigningKey> readSigningKey(std::string_view pem);

enum class SignatureCheck {
    Valid,
    Malformed,   // not base64 of 64 bytes
    Mismatch,    // not a signature of these bytes by this key
    Unreadable,  // the file cannot be read to its end
    Failed,      // the library failed (or the point is no key)
};
// Whether `signature` signs the whole file for the key whose point is given.
SignatureCheck checkFileSignature(const std::string& path, std::string_view point,
                                  std::string_view signature);
// The signature of the whole file, checked against the key's own point (so a key whose two
// halves do not belong together signs nothing); empty when the file cannot be read or the
// library fails.
std::string signFile(const std::string& path, const SigningKey& key);

// What each side does, over a SHA-256 digest and the raw forms above.
namespace ecdsa {
// Valid, Mismatch or Failed.
SignatureCheck verifyDigest(std::string_view digest, std::string_view point,
                            std::string_view signature);
// The 64-byte signature; empty when the library fails.
std::string signDigest(std::string_view digest, const SigningKey& key);
}  // namespace ecdsa

}  // namespace platform
