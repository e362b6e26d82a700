#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <cstdint>

#include "platform/digest.h"
#include "platform/files.h"

namespace platform {

namespace {

// A CNG hash object of one algorithm, released when the object goes.
class Hash {
  public:
    explicit Hash(DigestKind kind) {
        const wchar_t* name =
            kind == DigestKind::Md5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
        DWORD got = 0;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, name, nullptr, 0))) {
            algorithm_ = nullptr;
        } else if (!BCRYPT_SUCCESS(BCryptGetProperty(algorithm_, BCRYPT_HASH_LENGTH,
                                                     reinterpret_cast<PUCHAR>(&length_),
                                                     sizeof length_, &got, 0)) ||
                   !BCRYPT_SUCCESS(
                       BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
            hash_ = nullptr;
        }
    }
    ~Hash() {
        if (hash_) BCryptDestroyHash(hash_);
        if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    bool ready() const { return hash_ != nullptr; }

    bool add(const unsigned char* bytes, size_t n) {
        // BCryptHashData takes a 32-bit count.
        while (n > 0) {
            ULONG take = static_cast<ULONG>(std::min<size_t>(n, 1u << 30));
            if (!BCRYPT_SUCCESS(BCryptHashData(hash_, const_cast<PUCHAR>(bytes), take, 0)))
                return false;
            bytes += take;
            n -= take;
        }
        return true;
    }

    // The digest's bytes; empty when CNG fails.
    std::string finish() {
        std::string digest(length_, '\0');
        if (!BCRYPT_SUCCESS(
                BCryptFinishHash(hash_, reinterpret_cast<PUCHAR>(digest.data()), length_, 0)))
            return {};
        return digest;
    }

  private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    DWORD length_ = 0;
};

}  // namespace

std::string digestOf(DigestKind kind, std::string_view bytes) {
    Hash hash(kind);
    if (!hash.ready() ||
        !hash.add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()))
        return {};
    return hash.finish();
}

std::string digestOfFile(DigestKind kind, const std::string& path) {
    File file(path, OpenMode::Read);
    int64_t size = file.size();
    Hash hash(kind);
    if (!file.isOpen() || size < 0 || !hash.ready()) return {};
    int64_t total = 0;
    unsigned char buffer[65536];
    while (size_t got = file.read(buffer, sizeof buffer)) {
        if (!hash.add(buffer, got)) return {};
        total += static_cast<int64_t>(got);
    }
    // A read error looks like the end of the file: only a whole file has a digest.
    return total == size ? hash.finish() : std::string();
}

}  // namespace platform
