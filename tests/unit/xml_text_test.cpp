#include "formats/xml_text.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

// Names of the navigator's files reach the ANSI documents whole: what the code page holds as
// its bytes, everything else as character references, never as "?".
TEST(XmlTextTest, UnicodeTextKeepsWhatTheCodePageCannotHold) {
    const struct {
        const char* utf8;
        std::string expected;
    } cases[] = {
        {"a&b<\"c\">", "a&amp;b&lt;&quot;c&quot;&gt;"},
        {"北京\\x", platform::utf8ToAnsi("北京") + "\\x"},
        {"track\\지도", "track\\&#51648;&#46020;"},
        {"😀.txt", "&#128512;.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xmlEscapeUnicode(c.utf8), c.expected) << c.utf8;
}

}  // namespace
