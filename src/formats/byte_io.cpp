#include "formats/byte_io.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kBufferSize = LeFileReader::kMaxView;
}

LeFileReader::LeFileReader(platform::File& file, uint64_t offset) : file_(file) {
    int64_t size = file.size();
    if (size > 0 && static_cast<uint64_t>(size) > offset && file.seek(static_cast<int64_t>(offset)))
        remaining_ = static_cast<uint64_t>(size) - offset;
}

bool LeFileReader::fill(size_t atLeast) {
    if (end_ - begin_ >= atLeast) return true;
    if (buffer_.size() < kBufferSize) buffer_.resize(kBufferSize);
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < atLeast) {
        size_t got = file_.read(buffer_.data() + end_, buffer_.size() - end_);
        if (got == 0) return false;
        end_ += got;
    }
    return true;
}

bool LeFileReader::bytes(void* out, size_t n) {
    if (n > remaining_) return false;
    if (n == 0) return true;
    auto* dest = static_cast<unsigned char*>(out);
    size_t buffered = std::min(n, end_ - begin_);
    if (n > kBufferSize) {
        // Large fields go straight from the file into their destination.
        std::memcpy(dest, buffer_.data() + begin_, buffered);
        begin_ += buffered;
        if (file_.read(dest + buffered, n - buffered) != n - buffered) {
            remaining_ = 0;  // the file shrank under us
            return false;
        }
    } else {
        if (!fill(n)) {
            remaining_ = 0;
            return false;
        }
        std::memcpy(dest, buffer_.data() + begin_, n);
        begin_ += n;
    }
    remaining_ -= n;
    return true;
}

const unsigned char* LeFileReader::next(size_t n) {
    if (n > remaining_ || n > kBufferSize) return nullptr;
    if (!fill(n)) {
        remaining_ = 0;
        return nullptr;
    }
    const unsigned char* p = buffer_.data() + begin_;
    begin_ += n;
    remaining_ -= n;
    return p;
}

bool LeFileReader::skip(uint64_t n) {
    if (n > remaining_) return false;
    uint64_t buffered = std::min<uint64_t>(n, end_ - begin_);
    begin_ += static_cast<size_t>(buffered);
    uint64_t rest = n - buffered;
    remaining_ -= n;
    if (rest == 0) return true;
    // Past the buffer: discard it and move the file position.
    begin_ = end_ = 0;
    int64_t size = file_.size();
    if (size < 0 || !file_.seek(size - static_cast<int64_t>(remaining_))) {
        remaining_ = 0;
        return false;
    }
    return true;
}

bool LeFileReader::u16(uint16_t& value) {
    unsigned char b[2];
    if (!bytes(b, 2)) return false;
    value = loadU16(b);
    return true;
}

bool LeFileReader::i16(int16_t& value) {
    uint16_t v;
    if (!u16(v)) return false;
    value = static_cast<int16_t>(v);
    return true;
}

bool LeFileReader::u32(uint32_t& value) {
    unsigned char b[4];
    if (!bytes(b, 4)) return false;
    value = loadU32(b);
    return true;
}

bool LeFileReader::i32(int32_t& value) {
    uint32_t v;
    if (!u32(v)) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool LeFileReader::units(char16_t* out, size_t n) {
    if (n > remaining_ / 2) return false;
    std::vector<unsigned char> raw(n * 2);
    if (!bytes(raw.data(), raw.size())) return false;
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<char16_t>(loadU16(&raw[2 * i]));
    return true;
}

LeWriter& LeWriter::u16(uint16_t value) {
    bytes_.push_back(static_cast<char>(value & 0xFF));
    bytes_.push_back(static_cast<char>(value >> 8));
    return *this;
}

LeWriter& LeWriter::u32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes_.push_back(static_cast<char>((value >> shift) & 0xFF));
    return *this;
}

LeWriter& LeWriter::units(const char16_t* text, size_t n) {
    for (size_t i = 0; i < n; ++i)
        u16(static_cast<uint16_t>(text[i]));
    return *this;
}

LeWriter& LeWriter::zeros(size_t n) {
    bytes_.append(n, '\0');
    return *this;
}

LeWriter& LeWriter::raw(std::string_view bytes) {
    bytes_.append(bytes);
    return *this;
}
