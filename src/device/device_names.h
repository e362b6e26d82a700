#pragma once

#include <string>
#include <string_view>

#include "platform/codepage.h"

// File names as the navigator's storage compares them: its file system ignores letter case by
// upper-casing the UTF-16 names, so "abc", "ABC" and, among the code page's letters, "ａ" and
// "Ａ" or "α" and "Α" name the same file. Header-only, so that the simulator folds alike.

// The upper-case form of one UTF-16 unit, for every cased letter the code page holds.
constexpr char16_t foldDeviceUnit(char16_t c) {
    auto shifted = [c](int by) { return static_cast<char16_t>(c - by); };
    if (c < 0x80) return c >= u'a' && c <= u'z' ? shifted(32) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return shifted(32);  // Latin-1: à..þ
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {  // Latin Extended-A: pairs, upper case first
        bool oddIsLower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        bool evenIsLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddIsLower && (c & 1)) return shifted(1);
        if (evenIsLower && !(c & 1)) return shifted(1);
        return c;
    }
    if (c >= 0x1CD && c <= 0x1DC) return (c & 1) ? c : shifted(1);  // ǎ ǐ ǒ ǔ ǖ ǘ ǚ ǜ
    if (c == 0x1F9 || c == 0x1E3F) return shifted(1);               // ǹ ḿ
    if (c == 0x3C2) return 0x3A3;                                   // final sigma
    if (c >= 0x3B1 && c <= 0x3C9) return shifted(32);               // Greek
    if (c >= 0x430 && c <= 0x44F) return shifted(32);               // Cyrillic
    if (c >= 0x450 && c <= 0x45F) return shifted(80);               // ё and its row
    if (c >= 0x2170 && c <= 0x217F) return shifted(16);             // small Roman numerals
    if (c >= 0x24D0 && c <= 0x24E9) return shifted(26);             // circled letters
    if (c >= 0xFF41 && c <= 0xFF5A) return shifted(32);             // full-width letters
    return c;
}

inline std::u16string foldDeviceName(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        c = foldDeviceUnit(c);
    return out;
}

// An ANSI name as the navigator compares it: names of one file (a package's entries, a backup's
// files, what the navigator holds) fold alike. Folded on the UTF-16 form, so a double-byte
// character is never split or matched by one of its bytes.
inline std::u16string foldedDeviceName(std::string_view ansi) {
    return foldDeviceName(platform::ansiToUtf16(ansi));
}

// Whether two ANSI names name the same file on the navigator.
inline bool sameDeviceName(std::string_view a, std::string_view b) {
    return foldedDeviceName(a) == foldedDeviceName(b);
}
