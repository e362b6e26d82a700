#include "formats/text_encoding.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/codepage.h"

namespace {

size_t wideLength(const char16_t* s) {
    size_t n = 0;
    while (s[n] != u'\0')
        ++n;
    return n;
}

// The piecewise walk shared by both string conversions: runs between NULs are converted, each
// embedded NUL is copied as one NUL.
template <typename In, typename Out, typename ConvertRun>
Out convertKeepingNuls(const In& input, ConvertRun convertRun) {
    Out result;
    size_t pos = 0;
    while (pos < input.size()) {
        size_t end = input.find(typename In::value_type(0), pos);
        if (end == In::npos) end = input.size();
        if (end == pos) {
            result.push_back(typename Out::value_type(0));
            ++pos;
            continue;
        }
        result += convertRun(
            std::basic_string_view<typename In::value_type>(input).substr(pos, end - pos));
        pos = end;
    }
    return result;
}

}  // namespace

std::unique_ptr<char16_t[]> toWideBuffer(const char* ansi) {
    if (ansi == nullptr) return nullptr;
    std::u16string wide = platform::ansiToUtf16(std::string_view(ansi, std::strlen(ansi)));
    auto buffer = std::make_unique<char16_t[]>(wide.size() + 1);
    std::copy(wide.begin(), wide.end(), buffer.get());
    buffer[wide.size()] = u'\0';
    return buffer;
}

std::unique_ptr<char[]> toAnsiBuffer(const char16_t* wide) {
    if (wide == nullptr) return nullptr;
    std::string ansi = platform::utf16ToAnsi(std::u16string_view(wide, wideLength(wide)));
    auto buffer = std::make_unique<char[]>(ansi.size() + 1);
    std::memcpy(buffer.get(), ansi.data(), ansi.size());
    buffer[ansi.size()] = '\0';
    return buffer;
}

std::string wideToAnsiString(std::u16string wide) {
    return convertKeepingNuls<std::u16string, std::string>(
        wide, [](std::u16string_view run) { return platform::utf16ToAnsi(run); });
}

std::u16string ansiToWideString(std::string ansi) {
    return convertKeepingNuls<std::string, std::u16string>(
        ansi, [](std::string_view run) { return platform::ansiToUtf16(run); });
}

std::string fieldToAnsi(const char16_t* field, size_t units) {
    if (field == nullptr) return {};
    size_t n = 0;
    while (n < units && field[n] != u'\0')
        ++n;
    return platform::utf16ToAnsi(std::u16string_view(field, n));
}
