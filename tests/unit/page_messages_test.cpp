#include "app/page_messages.h"

#include <gtest/gtest.h>

#include "common/task_status.h"
#include "platform/codepage.h"

namespace {

TEST(PageMessages, StatusCodesBecomeKankanCalls) {
    struct Case {
        intptr_t code;
        const char* utf8;  // nullptr: kankan() without an argument
    } cases[] = {
        {0, " "},
        {1, "程序暂时很忙，请稍候再试！"},
        {2, "出现未知错误，建议重启程序！"},
        {3, "尚未连接Trevvo，请将您的Trevvo连接到电脑！"},
        {4, "下载路书失败，网络异常！"},
        {5, "上传路书失败，网络异常！"},
        {6, nullptr},
        {7, "下载路书失败，此路书已超过20M！"},
        {8, "上传路书失败，此路书已超过20M！"},
        {9, "数据传输错误。"},
        {10, "路书文件解压失败。"},
        {11, nullptr},
        {12, "路书读取失败。"},
        {13, nullptr},
        {-1, nullptr},
    };
    for (const auto& c : cases) {
        auto call = pageCallForMessage(WM_TASK_STATUS, 0, c.code);
        ASSERT_TRUE(call);
        EXPECT_EQ(call->function, "kankan");
        if (c.utf8) {
            ASSERT_EQ(call->args.size(), 1u) << c.code;
            EXPECT_EQ(platform::ansiToUtf8(call->args[0]), c.utf8);
        } else {
            EXPECT_TRUE(call->args.empty()) << c.code;
        }
    }
    // The texts are GBK bytes, as the page receives them.
    EXPECT_EQ(statusText(9),
              std::string("\xCA\xFD\xBE\xDD\xB4\xAB\xCA\xE4\xB4\xED\xCE\xF3\xA1\xA3"));
}

TEST(PageMessages, ProgressBecomesCurrentLushu) {
    struct Case {
        uintptr_t kind;
        intptr_t ordinal;
        std::vector<std::string> args;
    } cases[] = {
        {0, 1, {"1", "down"}},
        {1, 3, {"3", "delete"}},
        {2, 12, {"12", "updata"}},
    };
    for (const auto& c : cases) {
        auto call = pageCallForMessage(WM_TASK_PROGRESS, c.kind, c.ordinal);
        ASSERT_TRUE(call);
        EXPECT_EQ(call->function, "currentLushu");
        EXPECT_EQ(call->args, c.args);
    }
    EXPECT_FALSE(pageCallForMessage(WM_TASK_STATUS + 2, 0, 0));
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
