#include <openssl/evp.h>

#include "platform/digest.h"

namespace platform {

struct Md5::State {
    EVP_MD_CTX* context = nullptr;
    bool failed = false;
};

Md5::Md5() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    state_->failed =
        state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr) != 1;
}

Md5::~Md5() {
    EVP_MD_CTX_free(state_->context);
}

bool Md5::add(const void* bytes, size_t n) {
    if (!state_->failed && n > 0 && EVP_DigestUpdate(state_->context, bytes, n) != 1)
        state_->failed = true;
    return !state_->failed;
}

std::string Md5::hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (state_->failed || EVP_DigestFinal_ex(state_->context, digest, &length) != 1) return {};
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += kDigits[digest[i] >> 4];
        out += kDigits[digest[i] & 0xF];
    }
    return out;
}

}  // namespace platform
