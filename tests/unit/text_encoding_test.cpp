#include "formats/text_encoding.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

// "北京" in GBK and in UTF-16.
const std::string kBeijingGbk = "\xB1\xB1\xBE\xA9";
const std::u16string kBeijingWide = u"\u5317\u4EAC";

TEST(TextEncoding, NullInNullOut) {
    EXPECT_EQ(toWideBuffer(nullptr), nullptr);
    EXPECT_EQ(toAnsiBuffer(nullptr), nullptr);
}

TEST(TextEncoding, EmptyGivesOnlyTheTerminator) {
    auto wide = toWideBuffer("");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide[0], u'\0');
    auto ansi = toAnsiBuffer(u"");
    ASSERT_NE(ansi, nullptr);
    EXPECT_EQ(ansi[0], '\0');
}

TEST(TextEncoding, BufferConversionsRoundTripChineseText) {
    std::string text = "Route " + kBeijingGbk + " 2009";
    auto wide = toWideBuffer(text.c_str());
    EXPECT_EQ(std::u16string(wide.get()), u"Route " + kBeijingWide + u" 2009");
    auto back = toAnsiBuffer(wide.get());
    EXPECT_EQ(std::string(back.get()), text);
}

TEST(TextEncoding, BufferConversionsStopAtTheFirstNul) {
    const char16_t wide[] = {u'a', u'b', 0, u'c', 0};
    EXPECT_EQ(std::string(toAnsiBuffer(wide).get()), "ab");
}

TEST(TextEncoding, UnmappableAndMalformedBecomeQuestionMarks) {
    struct Case {
        std::u16string wide;
        std::string ansi;
    } cases[] = {
        {u"a\u00E9b",
         "a\xA8\xA6"
         "b"},                 // é exists in GBK
        {u"x\u0E01y", "x?y"},  // Thai has no GBK form
#ifdef _WIN32
        {u"\U0001F600", "??"},           // outside the BMP: Windows replaces each UTF-16 unit
        {u"\u00E0\u0100", "\xA8\xA4?"},  // no best-fit look-alike ('A' for U+0100)
#else
        {u"\U0001F600", "?"},  // one character outside the BMP
#endif
        {std::u16string(1, 0xD800) + u"z", "?z"},  // a lone surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::utf16ToAnsi(c.wide), c.ansi);
    // A lead byte at the very end and an invalid byte: '?' and nothing read past the end.
    EXPECT_EQ(platform::ansiToUtf16("ab\xB1"), u"ab?");
#ifdef _WIN32
    // Windows' own table maps the byte 0xFF to a private-use character.
    EXPECT_EQ(platform::ansiToUtf16("\xFF"
                                    "a"),
              u"\uF8F5a");
#else
    EXPECT_EQ(platform::ansiToUtf16("\xFF"
                                    "a"),
              u"?a");
#endif
    // Between UTF-8 and ANSI: Chinese both ways, malformed UTF-8 as '?'.
    EXPECT_EQ(platform::utf8ToAnsi("\xE5\x8C\x97\xE4\xBA\xAC"), kBeijingGbk);
    EXPECT_EQ(platform::ansiToUtf8(kBeijingGbk), "\xE5\x8C\x97\xE4\xBA\xAC");
    EXPECT_EQ(platform::utf8ToAnsi("a\xFF"
                                   "b"),
              "a?b");
}

TEST(TextEncoding, StringConversionsKeepEmbeddedNuls) {
    std::u16string wide(u"ab\0cd", 5);
    std::string ansi = wideToAnsiString(wide);
    EXPECT_EQ(ansi, std::string("ab\0cd", 5));
    EXPECT_EQ(ansiToWideString(ansi), wide);

    std::u16string many(
        u"\0\0"
        u"\u5317\0",
        4);
    EXPECT_EQ(wideToAnsiString(many), std::string("\0\0\xB1\xB1\0", 5));
    EXPECT_EQ(ansiToWideString(std::string("\0\0\xB1\xB1\0", 5)), many);
    EXPECT_EQ(wideToAnsiString(u""), "");
    EXPECT_EQ(ansiToWideString(""), u"");
}

TEST(TextEncoding, FieldToAnsiReadsUpToNulOrTheFieldEnd) {
    char16_t field[21];
    for (int i = 0; i < 20; ++i)
        field[i] = static_cast<char16_t>(u'A' + i);
    field[20] = u'Z';  // beyond the field: must not be read
    EXPECT_EQ(fieldToAnsi(field, 20), "ABCDEFGHIJKLMNOPQRST");
    field[3] = 0;
    EXPECT_EQ(fieldToAnsi(field, 20), "ABC");
    const char16_t chinese[10] = {0x5317, 0x4EAC};
    EXPECT_EQ(fieldToAnsi(chinese, 10), kBeijingGbk);
}

TEST(TextEncoding, AnsiPrefixNeverSplitsADoubleByteCharacter) {
    std::string text = "a" + kBeijingGbk;  // 1 + 2 + 2 bytes
    EXPECT_EQ(platform::ansiPrefixLength(text, 5), 5u);
    EXPECT_EQ(platform::ansiPrefixLength(text, 4), 3u);
    EXPECT_EQ(platform::ansiPrefixLength(text, 2), 1u);
    EXPECT_EQ(platform::ansiPrefixLength("abc", 2), 2u);
}

}  // namespace
