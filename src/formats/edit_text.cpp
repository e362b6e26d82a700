#include "formats/edit_text.h"

#include <bitset>
#include <cstdio>
#include <memory>

#include "platform/codepage.h"

namespace {

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

using GbkSet = std::bitset<0x10000>;

// The characters of one lead byte's row: each pair decoded alone between line feeds, so that a
// pair GBK lacks (read as '?', maybe with its trail byte) cannot shift the others.
void addRow(GbkSet& set, unsigned lead) {
    std::string row;
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        row += static_cast<char>(lead);
        row += static_cast<char>(trail);
        row += '\n';
    }
    const std::u16string wide = platform::gbkToUtf16(row);
    size_t start = 0;
    for (size_t end = wide.find(u'\n'); end != std::u16string::npos;
         start = end + 1, end = wide.find(u'\n', start)) {
        const char16_t c = wide[start];
        if (end - start == 1 && c != u'?' && !isHighSurrogate(c) && !isLowSurrogate(c)) set.set(c);
    }
}

const GbkSet& gbkSet() {
    static const std::unique_ptr<GbkSet> set = [] {
        auto s = std::make_unique<GbkSet>();
        for (unsigned c = 0; c < 0x80; ++c)
            s->set(c);
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
            addRow(*s, lead);
        return s;
    }();
    return *set;
}

}  // namespace

bool wellFormedUtf16(std::u16string_view units) {
    for (size_t i = 0; i < units.size(); ++i) {
        if (isHighSurrogate(units[i]) && i + 1 < units.size() && isLowSurrogate(units[i + 1]))
            ++i;
        else if (isHighSurrogate(units[i]) || isLowSurrogate(units[i]))
            return false;
    }
    return true;
}

std::u16string_view fixedFieldText(const char16_t* field, size_t units) {
    while (units > 0 && field[units - 1] == u'\0')
        --units;
    return std::u16string_view(field, units);
}

bool gbkHolds(char16_t unit) {
    return gbkSet().test(unit);
}

std::optional<UnshownText> unshownCharacters(std::u16string_view text, bool severalLines) {
    UnshownText found;
    auto note = [&found](size_t unit, char32_t code, UnshownText::Why why) {
        if (found.count++ == 0) found = {1, unit, code, why};
    };
    const size_t nul = text.find(u'\0');
    const std::u16string_view shown = text.substr(0, nul);
    for (size_t i = 0; i < shown.size(); ++i) {
        const char32_t c = shown[i];
        if (isHighSurrogate(c) && i + 1 < shown.size() && isLowSurrogate(shown[i + 1])) {
            note(i, 0x10000 + ((c - 0xD800) << 10) + (shown[i + 1] - 0xDC00),
                 UnshownText::Why::NotGbk);
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            note(i, c, UnshownText::Why::Unpaired);
        } else if (c < 0x20 || c == 0x7F) {
            if (!(severalLines && (c == u'\t' || c == u'\r' || c == u'\n')))
                note(i, c, UnshownText::Why::Control);
        } else if (!gbkHolds(static_cast<char16_t>(c))) {
            note(i, c, UnshownText::Why::NotGbk);
        }
    }
    if (nul != std::u16string_view::npos &&
        text.find_first_not_of(u'\0', nul) != std::u16string_view::npos)
        note(nul, 0, UnshownText::Why::HiddenAfterNul);
    if (found.count == 0) return std::nullopt;
    return found;
}

std::string describeUnshown(const UnshownText& unshown) {
    static const char* const kWhy[] = {
        "a NUL, which ends the text on its screen and hides what follows",
        "a control character",
        "half of a character (an unpaired surrogate)",
        "outside its character set (GBK)",
    };
    char text[200];
    std::snprintf(text, sizeof text,
                  "%zu character%s the navigator cannot show, the first U+%04X at unit %zu: %s",
                  unshown.count, unshown.count == 1 ? "" : "s", static_cast<unsigned>(unshown.code),
                  unshown.unit, kWhy[static_cast<int>(unshown.why)]);
    return text;
}
