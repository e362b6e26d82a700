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

// Feeds the digest from `source` (fills a buffer, answers the count, 0 at the end); empty when
// the library fails.
template <typename Source>
std::string digestFrom(DigestKind kind, Source&& source) {
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    const EVP_MD* algorithm = kind == DigestKind::Md5 ? EVP_md5() : EVP_sha256();
    if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1) return {};
    unsigned char buffer[65536];
    while (size_t n = source(buffer, sizeof buffer)) {
        if (EVP_DigestUpdate(context.get(), buffer, n) != 1) return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
    return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace

std::string digestOf(DigestKind kind, std::string_view bytes) {
    return digestFrom(kind, [&bytes](unsigned char* buffer, size_t n) {
        size_t take = bytes.size() < n ? bytes.size() : n;
        if (take) std::memcpy(buffer, bytes.data(), take);
        bytes.remove_prefix(take);
        return take;
    });
}

std::string digestOfFile(DigestKind kind, const std::string& path) {
    File file(path, OpenMode::Read);
    int64_t size = file.size();
    if (!file.isOpen() || size < 0) return {};
    int64_t total = 0;
    std::string digest = digestFrom(kind, [&](unsigned char* buffer, size_t n) {
        size_t got = file.read(buffer, n);
        total += static_cast<int64_t>(got);
        return got;
    });
    // A read error looks like the end of the file: only a whole file has a digest.
    return total == size ? digest : std::string();
}

}  // namespace platform
