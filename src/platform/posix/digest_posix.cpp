#include <openssl/evp.h>

#include <cstring>
#include <memory>

#include "platform/digest.h"
#include "platform/files.h"

namespace platform {

namespace {

struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Feeds MD5 from `source` (fills a buffer, answers the count, 0 at the end); empty text when
// the library fails.
template <typename Source>
std::string md5Of(Source&& source) {
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) return {};
    unsigned char buffer[65536];
    while (size_t n = source(buffer, sizeof buffer)) {
        if (EVP_DigestUpdate(context.get(), buffer, n) != 1) return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += kDigits[digest[i] >> 4];
        out += kDigits[digest[i] & 0xF];
    }
    return out;
}

}  // namespace

std::string md5Hex(std::string_view bytes) {
    return md5Of([&bytes](unsigned char* buffer, size_t n) {
        size_t take = bytes.size() < n ? bytes.size() : n;
        if (take) std::memcpy(buffer, bytes.data(), take);
        bytes.remove_prefix(take);
        return take;
    });
}

std::string md5HexOfFile(const std::string& path) {
    File file(path, OpenMode::Read);
    int64_t size = file.size();
    if (!file.isOpen() || size < 0) return {};
    int64_t total = 0;
    std::string digest = md5Of([&](unsigned char* buffer, size_t n) {
        size_t got = file.read(buffer, n);
        total += static_cast<int64_t>(got);
        return got;
    });
    // A read error looks like the end of the file: only a whole file has a digest.
    return total == size ? digest : std::string();
}

}  // namespace platform
