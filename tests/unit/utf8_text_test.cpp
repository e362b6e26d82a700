#include "platform/utf8_text.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8Text, ConvertsBothWaysAndReplacesWhatIsMalformed) {
    struct Case {
        std::string utf8;
        std::u16string wide;
    } cases[] = {
        {"abc", u"abc"},
        {"中文", u"中文"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\xFF"
         "b",
         u"a\uFFFDb"},
        {"\xE4\xB8", u"\uFFFD\uFFFD"},            // cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
    };
    for (const Case& c : cases)
        EXPECT_EQ(utf8::toUtf16(c.utf8), c.wide) << c.utf8;
    EXPECT_EQ(utf8::fromUtf16(u"中\U0001F600x"), "中\xF0\x9F\x98\x80x");
    EXPECT_EQ(utf8::fromUtf16(std::u16string(1, 0xDC00) + u"a" + std::u16string(1, 0xD800)),
              "\xEF\xBF\xBD"
              "a\xEF\xBF\xBD");
}

}  // namespace
