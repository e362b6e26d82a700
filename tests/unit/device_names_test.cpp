#include "device/device_names.h"

#include <gtest/gtest.h>

namespace {

// Names the navigator's storage takes for one file, and names it keeps apart.
TEST(DeviceNamesTest, LetterCaseIsIgnoredForEveryLetterOfTheCodePage) {
    struct Case {
        const char* a;  // UTF-8
        const char* b;
        bool same;
    } cases[] = {
        {"Route.trk", "rOUTE.TRK", true},
        {"ｗａｙ", "ＷＡＹ", true},
        {"αβγω", "ΑΒΓΩ", true},
        {"дом ё", "ДОМ Ё", true},
        {"ⅱ", "Ⅱ", true},
        {"北京", "北京", true},
        {"北京", "南京", false},
        {"a", "b", false},
        {"ａ", "a", false},  // full-width and ASCII are different letters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        std::u16string a = platform::ansiToUtf16(platform::utf8ToAnsi(c.a));
        std::u16string b = platform::ansiToUtf16(platform::utf8ToAnsi(c.b));
        // Both names must be code-page text, or the case proves nothing.
        ASSERT_EQ(a.find(u'?'), std::u16string::npos);
        ASSERT_EQ(b.find(u'?'), std::u16string::npos);
        EXPECT_EQ(foldDeviceName(a) == foldDeviceName(b), c.same);
        EXPECT_EQ(sameDeviceName(platform::utf8ToAnsi(c.a), platform::utf8ToAnsi(c.b)), c.same);
    }
    // Letters the device may hold in names the code page cannot write.
    EXPECT_EQ(foldDeviceName(u"àéüāǒςŉĸ"), foldDeviceName(u"ÀÉÜĀǑΣŉĸ"));

    // The trail byte of a double-byte character may be an ASCII letter: 81 41 and 81 61 are two
    // characters, not one in two cases.
    EXPECT_FALSE(sameDeviceName("\x81\x41", "\x81\x61"));
    EXPECT_TRUE(sameDeviceName("\x81\x41x", "\x81\x41X"));
}

}  // namespace
