#include <windows.h>

#include <wincrypt.h>

#include <algorithm>

#include "platform/digest.h"

namespace platform {

// A CryptoAPI provider and an MD5 hash object, released when the object goes.
struct Md5::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool failed = false;
};

Md5::Md5() : state_(std::make_unique<State>()) {
    if (CryptAcquireContextA(&state_->provider, nullptr, nullptr, PROV_RSA_FULL,
                             CRYPT_VERIFYCONTEXT) &&
        !CryptCreateHash(state_->provider, CALG_MD5, 0, 0, &state_->hash))
        state_->hash = 0;
    state_->failed = state_->hash == 0;
}

Md5::~Md5() {
    if (state_->hash) CryptDestroyHash(state_->hash);
    if (state_->provider) CryptReleaseContext(state_->provider, 0);
}

bool Md5::add(const void* bytes, size_t n) {
    auto* at = static_cast<const BYTE*>(bytes);
    // CryptHashData takes a 32-bit count.
    while (!state_->failed && n > 0) {
        DWORD take = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
        if (!CryptHashData(state_->hash, at, take, 0)) state_->failed = true;
        at += take;
        n -= take;
    }
    return !state_->failed;
}

std::string Md5::hex() {
    BYTE digest[16];
    DWORD length = sizeof digest;
    if (state_->failed || !CryptGetHashParam(state_->hash, HP_HASHVAL, digest, &length, 0))
        return {};
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < length; ++i) {
        out += kDigits[digest[i] >> 4];
        out += kDigits[digest[i] & 0xF];
    }
    return out;
}

}  // namespace platform
