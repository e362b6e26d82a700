#include "formats/edit_text.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(EditTextTest, WhatTheNavigatorCannotShow) {
    using Why = UnshownText::Why;
    struct Case {
        std::u16string text;
        bool severalLines;
        std::optional<UnshownText> unshown;
    } cases[] = {
        {u"长城 Gate ü é №", false, std::nullopt},
        {u"Trip\0\0"s, false, std::nullopt},  // a terminator stored with the text
        {u"a\tb\r\n", true, std::nullopt},
        {u"a\tb", false, UnshownText{1, 1, u'\t', Why::Control}},
        {u"Ab\0cd"s, true, UnshownText{1, 2, 0, Why::HiddenAfterNul}},
        {u"x😀y😀", false, UnshownText{2, 1, 0x1F600, Why::NotGbk}},
        {u"straße", false, UnshownText{1, 4, 0xDF, Why::NotGbk}},
        {u"한국", false, UnshownText{2, 0, 0xD55C, Why::NotGbk}},
        {std::u16string{u'a', 0xDC00, u'b'}, false, UnshownText{1, 1, 0xDC00, Why::Unpaired}},
        // What follows a NUL is not shown, so only the NUL counts.
        {u"\x7f\0😀"s, false, UnshownText{2, 0, 0x7F, Why::Control}},
    };
    for (const Case& c : cases) {
        std::optional<UnshownText> got = unshownCharacters(c.text, c.severalLines);
        SCOPED_TRACE(got ? describeUnshown(*got) : "shown");
        ASSERT_EQ(got.has_value(), c.unshown.has_value());
        if (!got) continue;
        EXPECT_EQ(got->count, c.unshown->count);
        EXPECT_EQ(got->unit, c.unshown->unit);
        EXPECT_EQ(got->code, c.unshown->code);
        EXPECT_EQ(got->why, c.unshown->why);
    }
}

}  // namespace
