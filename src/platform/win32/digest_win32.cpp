#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <cstdint>

#include "platform/digest.h"
#include "platform/files.h"

namespace platform {

namespace {

// A CryptoAPI provider and an MD5 hash object, released when the object goes.
class Md5 {
  public:
    Md5() {
        if (CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_FULL,
                                 CRYPT_VERIFYCONTEXT) &&
            !CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash_))
            hash_ = 0;
    }
    ~Md5() {
        if (hash_) CryptDestroyHash(hash_);
        if (provider_) CryptReleaseContext(provider_, 0);
    }
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    bool ready() const { return hash_ != 0; }

    bool add(const unsigned char* bytes, size_t n) {
        // CryptHashData takes a 32-bit count.
        while (n > 0) {
            DWORD take = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
            if (!CryptHashData(hash_, bytes, take, 0)) return false;
            bytes += take;
            n -= take;
        }
        return true;
    }

    // The digest in hexadecimal; empty when CryptoAPI fails.
    std::string hex() {
        BYTE digest[16];
        DWORD length = sizeof digest;
        if (!CryptGetHashParam(hash_, HP_HASHVAL, digest, &length, 0)) return {};
        static const char kDigits[] = "0123456789abcdef";
        std::string out;
        for (DWORD i = 0; i < length; ++i) {
            out += kDigits[digest[i] >> 4];
            out += kDigits[digest[i] & 0xF];
        }
        return out;
    }

  private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
};

}  // namespace

std::string md5Hex(std::string_view bytes) {
    Md5 md5;
    if (!md5.ready() ||
        !md5.add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()))
        return {};
    return md5.hex();
}

std::string md5HexOfFile(const std::string& path) {
    File file(path, OpenMode::Read);
    int64_t size = file.size();
    Md5 md5;
    if (!file.isOpen() || size < 0 || !md5.ready()) return {};
    int64_t total = 0;
    unsigned char buffer[65536];
    while (size_t got = file.read(buffer, sizeof buffer)) {
        if (!md5.add(buffer, got)) return {};
        total += static_cast<int64_t>(got);
    }
    // A read error looks like the end of the file: only a whole file has a digest.
    return total == size ? md5.hex() : std::string();
}

}  // namespace platform
