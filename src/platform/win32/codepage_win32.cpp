#include <climits>

#include "platform/codepage.h"
#include "platform/win32/win32_util.h"

// The process code page through the system's own tables. What the code page cannot hold becomes
// its default character, as the system decides it: a character outside the BMP becomes one '?'
// per UTF-16 unit, and bytes the code page leaves unassigned may map to private-use characters
// (0xFF in code page 936 reads as U+F8F5) rather than to '?'.
namespace platform {
namespace {

// The conversion functions count in int; longer text goes in pieces of at most this many units,
// cut where no character is split.
constexpr size_t kPiece = size_t{1} << 28;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");

std::u16string toWide(UINT codePage, std::string_view text) {
    std::u16string out;
    while (!text.empty()) {
        size_t take = text.size();
        if (take > kPiece) take = codePage == CP_UTF8 ? kPiece : ansiPrefixLength(text, kPiece);
        if (codePage == CP_UTF8) {
            // Back up to the start of a UTF-8 sequence.
            while (take > 1 && take < text.size() &&
                   (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80)
                --take;
        }
        int inCount = static_cast<int>(take);
        int need = MultiByteToWideChar(codePage, 0, text.data(), inCount, nullptr, 0);
        if (need > 0) {
            size_t at = out.size();
            out.resize(at + static_cast<size_t>(need));
            int got = MultiByteToWideChar(codePage, 0, text.data(), inCount,
                                          reinterpret_cast<wchar_t*>(out.data() + at), need);
            out.resize(at + static_cast<size_t>(got > 0 ? got : 0));
        }
        text.remove_prefix(take);
    }
    return out;
}

std::string fromWide(UINT codePage, std::u16string_view text) {
    // Without best-fit mapping a character the code page lacks becomes '?' instead of a
    // look-alike, which could turn one file name into another (a different letter, or a
    // separator).
    DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    std::string out;
    while (!text.empty()) {
        size_t take = text.size() > kPiece ? kPiece : text.size();
        // Keep a surrogate pair together.
        if (take < text.size() && text[take - 1] >= 0xD800 && text[take - 1] < 0xDC00) --take;
        const auto* in = reinterpret_cast<const wchar_t*>(text.data());
        int inCount = static_cast<int>(take);
        int need = WideCharToMultiByte(codePage, flags, in, inCount, nullptr, 0, nullptr, nullptr);
        if (need > 0) {
            size_t at = out.size();
            out.resize(at + static_cast<size_t>(need));
            int got = WideCharToMultiByte(codePage, flags, in, inCount, out.data() + at, need,
                                          nullptr, nullptr);
            out.resize(at + static_cast<size_t>(got > 0 ? got : 0));
        }
        text.remove_prefix(take);
    }
    return out;
}

}  // namespace

std::u16string ansiToUtf16(std::string_view ansi) {
    return toWide(CP_ACP, ansi);
}

std::u16string gbkToUtf16(std::string_view gbk) {
    return toWide(936, gbk);
}

std::string utf16ToAnsi(std::u16string_view wide) {
    return fromWide(CP_ACP, wide);
}

std::string utf8ToAnsi(std::string_view utf8) {
    return fromWide(CP_ACP, toWide(CP_UTF8, utf8));
}

std::string ansiToUtf8(std::string_view ansi) {
    return fromWide(CP_UTF8, toWide(CP_ACP, ansi));
}

size_t ansiPrefixLength(std::string_view ansi, size_t maxBytes) {
    size_t i = 0;
    while (i < ansi.size()) {
        BYTE c = static_cast<BYTE>(ansi[i]);
        size_t len = (IsDBCSLeadByteEx(CP_ACP, c) && i + 1 < ansi.size()) ? 2 : 1;
        if (i + len > maxBytes) break;
        i += len;
    }
    return i;
}

}  // namespace platform
