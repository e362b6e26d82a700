#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

#include "platform/signature.h"

namespace platform::ecdsa {

namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using Number = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using Signature = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG_free>>;

// A P-256 key from its point and, for signing, its scalar; null when the library refuses it.
Key keyOf(std::string_view point, std::string_view scalar = {}) {
    std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD_free>> build(OSSL_PARAM_BLD_new());
    Number secret(scalar.empty() ? nullptr
                                 : BN_bin2bn(reinterpret_cast<const unsigned char*>(scalar.data()),
                                             static_cast<int>(scalar.size()), nullptr));
    if (!build || (!scalar.empty() && !secret) ||
        !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1",
                                         0) ||
        !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(),
                                          point.size()) ||
        (secret && !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, secret.get())))
        return nullptr;
    std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM_free>> params(
        OSSL_PARAM_BLD_to_param(build.get()));
    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, secret ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                          params.get()) != 1)
        return nullptr;
    return Key(key);
}

// libcrypto's ECDSA works on the DER form of a signature; updates carry r and s as they are.
// Both conversions are here.
std::string derOf(std::string_view raw) {
    Signature signature(ECDSA_SIG_new());
    auto half = [&raw](size_t at) {
        return BN_bin2bn(reinterpret_cast<const unsigned char*>(raw.data() + at), 32, nullptr);
    };
    BIGNUM* r = half(0);
    BIGNUM* s = half(32);
    if (!signature || !r || !s || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return {};
    }
    unsigned char* der = nullptr;
    int length = i2d_ECDSA_SIG(signature.get(), &der);
    if (length <= 0) return {};
    std::string out(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return out;
}

std::string rawOf(const unsigned char* der, size_t length) {
    Signature signature(d2i_ECDSA_SIG(nullptr, &der, static_cast<long>(length)));
    if (!signature) return {};
    std::string raw(64, '\0');
    auto* out = reinterpret_cast<unsigned char*>(raw.data());
    if (BN_bn2binpad(ECDSA_SIG_get0_r(signature.get()), out, 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(signature.get()), out + 32, 32) != 32)
        return {};
    return raw;
}

// A context for one operation on a SHA-256 digest with the key.
KeyContext operationOn(EVP_PKEY* key, int (*init)(EVP_PKEY_CTX*)) {
    KeyContext context(key ? EVP_PKEY_CTX_new(key, nullptr) : nullptr);
    if (!context || init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1)
        return nullptr;
    return context;
}

}  // namespace

SignatureCheck verifyDigest(std::string_view digest, std::string_view point,
                            std::string_view signature) {
    Key key = keyOf(point);
    KeyContext context = operationOn(key.get(), EVP_PKEY_verify_init);
    std::string der = derOf(signature);
    if (!context || der.empty()) return SignatureCheck::Failed;
    int verified = EVP_PKEY_verify(
        context.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(),
        reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
    // 0 is a signature that does not match; below 0 also one that is no signature at all.
    return verified == 1 ? SignatureCheck::Valid : SignatureCheck::Mismatch;
}

std::string signDigest(std::string_view digest, const SigningKey& signer) {
    Key key = keyOf(signer.point, signer.scalar);
    KeyContext context = operationOn(key.get(), EVP_PKEY_sign_init);
    unsigned char der[80];
    size_t length = sizeof der;
    if (!context ||
        EVP_PKEY_sign(context.get(), der, &length,
                      reinterpret_cast<const unsigned char*>(digest.data()), digest.size()) != 1)
        return {};
    return rawOf(der, length);
}

}  // namespace platform::ecdsa
