#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Texts of the navigator's files as the editing document carries them, and what of them the
// navigator can show. It keeps text as UTF-16 and draws it with a font for the GBK character set
// (code page 936), the set its route files' texts come from and the program's own pages are
// written in: a character outside GBK, a control character or half of a surrogate pair shows as
// a box or not at all, and a text ends, on the screen, at its first NUL.

// Whether the units are valid UTF-16: every surrogate in a pair.
bool wellFormedUtf16(std::u16string_view units);
// A fixed field's text without the NULs that pad it (an embedded NUL stays).
std::u16string_view fixedFieldText(const char16_t* field, size_t units);
// Whether GBK has the character (a unit outside the surrogates).
bool gbkHolds(char16_t unit);

// The characters of a text that the navigator cannot show: how many, and the first.
struct UnshownText {
    enum class Why { HiddenAfterNul, Control, Unpaired, NotGbk };
    size_t count = 0;
    size_t unit = 0;  // where the first stands, in UTF-16 units from 0
    char32_t code = 0;
    Why why = Why::NotGbk;
};
// Nothing when the navigator shows all of it. Tab, carriage return and line feed count as shown
// in a text of several lines. NULs after the text (a terminator stored with it) are not counted.
std::optional<UnshownText> unshownCharacters(std::u16string_view text, bool severalLines);
// "2 characters the navigator cannot show, the first U+1F600 at unit 5: outside its character
// set (GBK)".
std::string describeUnshown(const UnshownText& unshown);
