#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <string>

#include "platform/signature.h"

namespace platform::ecdsa {

namespace {

// An ECDSA P-256 key in CNG, from the blob of its point (and scalar); released when it goes.
class Key {
  public:
    Key(std::string_view point, std::string_view scalar) {
        // The blob: its header, X, Y and, for a signing key, the scalar.
        BCRYPT_ECCKEY_BLOB header{};
        header.dwMagic =
            scalar.empty() ? BCRYPT_ECDSA_PUBLIC_P256_MAGIC : BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
        header.cbKey = 32;
        std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
        blob.append(point.substr(1));
        blob.append(scalar);
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_ECDSA_P256_ALGORITHM,
                                                        nullptr, 0))) {
            algorithm_ = nullptr;
            return;
        }
        if (!BCRYPT_SUCCESS(BCryptImportKeyPair(
                algorithm_, nullptr,
                scalar.empty() ? BCRYPT_ECCPUBLIC_BLOB : BCRYPT_ECCPRIVATE_BLOB, &key_,
                reinterpret_cast<PUCHAR>(blob.data()), static_cast<ULONG>(blob.size()), 0)))
            key_ = nullptr;
    }
    ~Key() {
        if (key_) BCryptDestroyKey(key_);
        if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    BCRYPT_KEY_HANDLE handle() const { return key_; }

  private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
};

PUCHAR bytesOf(std::string_view text) {
    return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

}  // namespace

SignatureCheck verifyDigest(std::string_view digest, std::string_view point,
                            std::string_view signature) {
    Key key(point, {});
    if (!key.handle()) return SignatureCheck::Failed;
    NTSTATUS status = BCryptVerifySignature(key.handle(), nullptr, bytesOf(digest),
                                            static_cast<ULONG>(digest.size()), bytesOf(signature),
                                            static_cast<ULONG>(signature.size()), 0);
    if (BCRYPT_SUCCESS(status)) return SignatureCheck::Valid;
    return status == static_cast<NTSTATUS>(0xC000A000L)  // STATUS_INVALID_SIGNATURE
               ? SignatureCheck::Mismatch
               : SignatureCheck::Failed;
}

std::string signDigest(std::string_view digest, const SigningKey& signer) {
    Key key(signer.point, signer.scalar);
    std::string signature(64, '\0');
    ULONG written = 0;
    if (!key.handle() ||
        !BCRYPT_SUCCESS(BCryptSignHash(key.handle(), nullptr, bytesOf(digest),
                                       static_cast<ULONG>(digest.size()), bytesOf(signature),
                                       static_cast<ULONG>(signature.size()), &written, 0)) ||
        written != signature.size())
        return {};
    return signature;
}

}  // namespace platform::ecdsa
