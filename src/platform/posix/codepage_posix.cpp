#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/codepage.h"

namespace platform {
namespace {

constexpr const char* kAnsiCodePage = "CP936";

// An iconv descriptor keeps conversion state, so one descriptor serves one conversion at a time.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in` (of units of inUnit bytes) and appends the output bytes to `out`. On a
    // character it cannot convert it appends `fallback` and skips one input unit (or the pair of
    // UTF-16 surrogates that forms one character).
    void convert(const char* in, size_t inBytes, size_t inUnit, std::string_view fallback,
                 std::string& out) const {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            for (size_t i = 0; i < inBytes / inUnit; ++i)
                out.append(fallback);
            return;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[4096];
        char* src = const_cast<char*>(in);
        size_t left = inBytes;
        while (left > 0) {
            char* dst = buffer;
            size_t room = sizeof buffer;
            size_t rc = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) continue;
            // EILSEQ (unconvertible or malformed) or EINVAL (incomplete at the end).
            size_t skip = inUnit;
            if (inUnit == 2 && left >= 4) {
                uint16_t first = static_cast<uint16_t>(static_cast<unsigned char>(src[0]) |
                                                       static_cast<unsigned char>(src[1]) << 8);
                uint16_t second = static_cast<uint16_t>(static_cast<unsigned char>(src[2]) |
                                                        static_cast<unsigned char>(src[3]) << 8);
                if (first >= 0xD800 && first <= 0xDBFF && second >= 0xDC00 && second <= 0xDFFF)
                    skip = 4;
            }
            if (skip > left) skip = left;
            src += skip;
            left -= skip;
            out.append(fallback);
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        // Flush any shift state (none for these encodings, but harmless).
        char* dst = buffer;
        size_t room = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<size_t>(dst - buffer));
    }

  private:
    iconv_t cd_;
};

// One converter per direction for the whole process, used under its lock. They are never
// destroyed, so conversions keep working inside static destructors at exit (a per-thread object
// would already be gone there).
struct SharedConverter {
    SharedConverter(const char* to, const char* from) : converter(to, from) {}
    std::mutex mutex;
    Converter converter;

    void convert(const char* in, size_t inBytes, size_t inUnit, std::string_view fallback,
                 std::string& out) {
        std::lock_guard<std::mutex> lock(mutex);
        converter.convert(in, inBytes, inUnit, fallback, out);
    }
};

SharedConverter& ansiToUtf16le() {
    static auto* c = new SharedConverter("UTF-16LE", kAnsiCodePage);
    return *c;
}
SharedConverter& utf16leToAnsi() {
    static auto* c = new SharedConverter(kAnsiCodePage, "UTF-16LE");
    return *c;
}
SharedConverter& utf8ToAnsiConverter() {
    static auto* c = new SharedConverter(kAnsiCodePage, "UTF-8");
    return *c;
}
SharedConverter& ansiToUtf8Converter() {
    static auto* c = new SharedConverter("UTF-8", kAnsiCodePage);
    return *c;
}

}  // namespace

std::u16string ansiToUtf16(std::string_view ansi) {
    std::string bytes;
    ansiToUtf16le().convert(ansi.data(), ansi.size(), 1, std::string_view("?\0", 2), bytes);
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return out;
}

std::u16string gbkToUtf16(std::string_view gbk) {
    return ansiToUtf16(gbk);
}

std::string utf16ToAnsi(std::u16string_view wide) {
    std::vector<char> bytes(wide.size() * 2);
    for (size_t i = 0; i < wide.size(); ++i) {
        bytes[2 * i] = static_cast<char>(wide[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    std::string out;
    utf16leToAnsi().convert(bytes.data(), bytes.size(), 2, "?", out);
    return out;
}

std::string utf8ToAnsi(std::string_view utf8) {
    std::string out;
    utf8ToAnsiConverter().convert(utf8.data(), utf8.size(), 1, "?", out);
    return out;
}

std::string ansiToUtf8(std::string_view ansi) {
    std::string out;
    ansiToUtf8Converter().convert(ansi.data(), ansi.size(), 1, "?", out);
    return out;
}

size_t ansiPrefixLength(std::string_view ansi, size_t maxBytes) {
    size_t i = 0;
    while (i < ansi.size()) {
        // In code page 936 a byte from 0x81 to 0xFE leads a two-byte character.
        unsigned char c = static_cast<unsigned char>(ansi[i]);
        size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < ansi.size()) ? 2 : 1;
        if (i + len > maxBytes) break;
        i += len;
    }
    return i;
}

}  // namespace platform
