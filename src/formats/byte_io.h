#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

// Little-endian field access for the navigator's binary files. The reader goes through a buffer
// and never past the end of the file; every read is all-or-nothing, so a field that the file
// holds only in part is left untouched.

class LeFileReader {
  public:
    // Reads `file` from `offset` to its end.
    explicit LeFileReader(platform::File& file, uint64_t offset = 0);

    // Bytes left in the file after the current position.
    uint64_t remaining() const { return remaining_; }

    bool bytes(void* out, size_t n);
    bool skip(uint64_t n);
    bool u16(uint16_t& value);
    bool i16(int16_t& value);
    bool u32(uint32_t& value);
    bool i32(int32_t& value);
    // n UTF-16 little-endian code units.
    bool units(char16_t* out, size_t n);
    // The next n bytes (n at most kMaxView), consumed; null when the file holds fewer. Valid
    // until the next call.
    const unsigned char* next(size_t n);

    static constexpr size_t kMaxView = 64 * 1024;

  private:
    bool fill(size_t atLeast);

    platform::File& file_;
    uint64_t remaining_ = 0;
    std::vector<unsigned char> buffer_;
    size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
    size_t end_ = 0;
};

// Decoding from bytes already in memory.
inline uint16_t loadU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t loadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Builds the bytes of a file in memory; written out in one piece.
class LeWriter {
  public:
    LeWriter& u16(uint16_t value);
    LeWriter& i16(int16_t value) { return u16(static_cast<uint16_t>(value)); }
    LeWriter& u32(uint32_t value);
    LeWriter& i32(int32_t value) { return u32(static_cast<uint32_t>(value)); }
    LeWriter& units(const char16_t* text, size_t n);
    LeWriter& units(std::u16string_view text) { return units(text.data(), text.size()); }
    LeWriter& zeros(size_t n);
    LeWriter& raw(std::string_view bytes);

    const std::string& bytes() const { return bytes_; }
    std::string take() { return std::move(bytes_); }

  private:
    std::string bytes_;
};
