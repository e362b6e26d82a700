#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Message digests, written as lowercase hexadecimal digits (two per byte, in digest order).
namespace platform {

// MD5 (RFC 1321) of bytes that come in pieces.
class Md5 {
  public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    // False once the system's digest has failed; hex() then answers empty text.
    bool add(const void* bytes, size_t n);
    // The digest of everything added; call it once.
    std::string hex();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// MD5 (RFC 1321) of the bytes.
std::string md5Hex(std::string_view bytes);
// MD5 of a whole local file; empty text when the file cannot be read.
std::string md5HexOfFile(const std::string& path);

}  // namespace platform
