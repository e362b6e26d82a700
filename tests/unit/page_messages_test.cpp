#include "app/page_messages.h"

#include <gtest/gtest.h>

#include "common/seat.h"

namespace {

TEST(PageMessages, StatusTextsAreTheGbkBytesThePageReceives) {
    EXPECT_EQ(statusText(TaskStatus::TransferError),
              std::string("\xCA\xFD\xBE\xDD\xB4\xAB\xCA\xE4\xB4\xED\xCE\xF3\xA1\xA3"));
    EXPECT_FALSE(statusText(TaskStatus::NoSpace));
    EXPECT_FALSE(pageCallFor(TaskEvent::of(TaskEvent::Kind::UpdateQuestion)));
}

TEST(PageMessages, JsStringLiteralsCannotBreakOutOfTheirScript) {
    struct Case {
        std::string utf8;
        bool escapeNonAscii;
        const char* literal;
    } cases[] = {
        {"plain", false, "\"plain\""},
        {"a\"b\\c", false, "\"a\\\"b\\\\c\""},
        {"line\nbreak\r\t", false, "\"line\\nbreak\\r\\t\""},
        {"</script><b>", false, "\"\\u003C/script>\\u003Cb>\""},
        {"\x01\x7F", false, "\"\\u0001\\u007F\""},
        {"\xE2\x80\xA8\xE2\x80\xA9", false, "\"\\u2028\\u2029\""},
        {"北京", false, "\"北京\""},
        {"北京", true, "\"\\u5317\\u4EAC\""},
        {"\xF0\x9F\x98\x80", true, "\"\\uD83D\\uDE00\""},
        {"bad\xFF", false, "\"bad\\uFFFD\""},
        {"cut\xE5\x8C", false, "\"cut\\uFFFD\\uFFFD\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(jsStringLiteral(c.utf8, c.escapeNonAscii), c.literal) << c.utf8;
    EXPECT_EQ(formatPageCall({"currentLushu", {"1", "down"}}), "currentLushu(\"1\",\"down\")");
    EXPECT_EQ(formatPageCall({"kankan", {}}), "kankan()");
}

}  // namespace
