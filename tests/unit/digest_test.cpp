#include "platform/digest.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

// The test suite of RFC 1321.
const struct {
    const char* text;
    const char* digest;
} kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Digest, Rfc1321Suite) {
    for (const auto& c : kRfc1321)
        EXPECT_EQ(platform::md5Hex(c.text), c.digest) << c.text;
}

TEST(Digest, FilesDigestTheirWholeContent) {
    TempDir dir;
    for (const auto& c : kRfc1321) {
        writeFileBytes(dir.file("f"), c.text);
        EXPECT_EQ(platform::md5HexOfFile(dir.file("f")), c.digest) << c.text;
    }
    // Longer than one read of the file.
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 251);
    writeFileBytes(dir.file("big"), big);
    EXPECT_EQ(platform::md5HexOfFile(dir.file("big")), platform::md5Hex(big));
    EXPECT_EQ(platform::md5HexOfFile(dir.file("missing")), "");
    EXPECT_EQ(platform::md5HexOfFile(dir.path()), "");
}

}  // namespace
