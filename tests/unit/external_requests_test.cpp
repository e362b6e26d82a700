#include <gtest/gtest.h>

#include <charconv>
#include <cmath>

#include "app/external_requests.h"
#include "bridge/program_methods.h"
#include "platform/codepage.h"
#include "platform/utf8_text.h"
#include "support/page_method_cases.h"

namespace {

TEST(ExternalRequest, DecodesEveryScriptType) {
    auto request = decodeExternalRequest(
        "k3y\ns5:a;b:cs0:s2:中文i-12;i2147483647;d1.5;d-Infinity;dNaN;d3000000000;b1;b0;n;u;o;");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->key, "k3y");
    const auto& a = request->args;
    ASSERT_EQ(a.size(), 14u);
    using T = ScriptValue::Type;
    const T types[] = {T::String, T::String, T::String, T::Int32, T::Int32, T::Double, T::Double,
                       T::Double, T::Double, T::Bool,   T::Bool,  T::Null,  T::Empty,  T::Other};
    for (size_t i = 0; i < std::size(types); ++i)
        EXPECT_EQ(a[i].type, types[i]) << i;
    EXPECT_EQ(a[0].text, u"a;b:c");
    EXPECT_EQ(a[1].text, u"");
    EXPECT_EQ(a[2].text, u"中文");
    EXPECT_EQ(a[3].integer, -12);
    EXPECT_EQ(a[4].integer, 2147483647);
    EXPECT_EQ(a[5].number, 1.5);
    EXPECT_TRUE(std::isinf(a[6].number) && a[6].number < 0);
    EXPECT_TRUE(std::isnan(a[7].number));
    EXPECT_EQ(a[8].number, 3000000000.0);
    EXPECT_TRUE(a[9].boolean);
    EXPECT_FALSE(a[10].boolean);
}

TEST(ExternalRequest, StringLengthsCountUtf16Units) {
    // One character outside the BMP is two units; a text may hold line feeds and NULs.
    auto request = decodeExternalRequest(std::string("\ns2:\xF0\x9F\x98\x80s3:a\nbs2:x\0", 19));
    ASSERT_TRUE(request);
    ASSERT_EQ(request->args.size(), 3u);
    EXPECT_EQ(request->args[0].text, u"\U0001F600");
    EXPECT_EQ(request->args[1].text, u"a\nb");
    EXPECT_EQ(request->args[2].text, std::u16string(u"x\0", 2));
}

TEST(ExternalRequest, RefusesMalformedBodies) {
    const char* const bodies[] = {
        "",
        "no line feed",
        "\ns9:abc",
        "\ns-1:abc",
        "\nsx:abc",
        "\ni12",
        "\ni;",
        "\ni1.5;",
        "\ni2147483648;",
        "\nd;",
        "\ndabc;",
        "\nb2;",
        "\nnx;",
        "\nz;",
        "\ns3abc",
        "ke\xE4\xB8\xAD\n",  // the key is ASCII
    };
    for (const char* body : bodies)
        EXPECT_FALSE(decodeExternalRequest(body)) << body;
    EXPECT_TRUE(decodeExternalRequest("\n"));
}

TEST(ExternalAnswer, EncodesTextTrueAndNoValue) {
    ScriptResult text{
        ScriptResult::Type::String,
        u"中\U0001F600",
    };
    EXPECT_EQ(encodeExternalAnswer(text), "s中\xF0\x9F\x98\x80");
    EXPECT_EQ(encodeExternalAnswer({ScriptResult::Type::String, u""}), "s");
    EXPECT_EQ(encodeExternalAnswer({ScriptResult::Type::BoolTrue, u""}), "t");
    EXPECT_EQ(encodeExternalAnswer({}), "");
}

constexpr const char* kPortal = "http://portal.test/start.html";
constexpr const char* kBundled = "file:///opt/vantu/portal/index.html";

class ExternalRequestsTest : public ::testing::Test, protected PageMethodFixture {
  protected:
    std::string call(const char* method, const char* origin, const std::string& body,
                     const char* mainDocument = kPortal) {
        return requests_.answer(method, origin, body, mainDocument);
    }
    std::string stored(const char* key) { return platform::ansiToUtf8(settings.getValue(key)); }

    ExternalRequests requests_{external, PageTrust({"http://portal.test/", "", kBundled}, ""),
                               "secret"};
};

// One argument as the injected script writes it.
std::string encodeArgument(const ScriptValue& value) {
    switch (value.type) {
        case ScriptValue::Type::String:
            return "s" + std::to_string(value.text.size()) + ":" + utf8::fromUtf16(value.text);
        case ScriptValue::Type::Int32:
            return "i" + std::to_string(value.integer) + ";";
        case ScriptValue::Type::Double: {
            char text[32];
            auto end = std::to_chars(text, text + sizeof text, value.number).ptr;
            return "d" + std::string(text, end) + ";";
        }
        case ScriptValue::Type::Bool:
            return value.boolean ? "b1;" : "b0;";
        case ScriptValue::Type::Null:
            return "n;";
        case ScriptValue::Type::Empty:
            return "u;";
        case ScriptValue::Type::Other:
            break;
    }
    return "o;";
}

// The gate cannot tell no value from success without an answer: both are an empty answer.
TEST_F(ExternalRequestsTest, ServesEveryCaseOfThePageMethods) {
    int n = 0;
    for (const PageMethodCase& c : pageMethodCases()) {
        prepare(c);
        std::string body = "secret\n";
        for (const ScriptValue& arg : c.args)
            body += encodeArgument(arg);
        std::string answer = call(c.method, "null", body, kBundled);
        std::string expected = c.answer == "none" ? "" : c.answer == "true" ? "t" : c.answer;
        if (expected.rfind("s:", 0) == 0) expected.erase(1, 1);
        const std::string label = std::string(c.method) + " (case " + std::to_string(n++) + ")";
        EXPECT_EQ(answer, expected) << label;
        EXPECT_EQ(observed(), c.calls) << label;
    }
}

TEST_F(ExternalRequestsTest, TrustedDocumentsCallWithTypedArgumentsInScriptOrder) {
    struct Case {
        const char* value;  // the encoded second argument of writeValue
        const char* stored;
    } cases[] = {
        {"s3:abc", "abc"}, {"i12;", "12"},      {"i-5;", "-5"},
        {"d1.5;", "1.5"},  {"b1;", "-1"},       {"b0;", "0"},
        {"u;", ""},        {"s2:中文", "中文"}, {"d3000000000;", "3000000000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call("writeValue", "http://portal.test", std::string("\ns1:k") + c.value), "t");
        EXPECT_EQ(stored("k"), c.stored) << c.value;
        EXPECT_EQ(call("getValue", "http://portal.test", "\ns1:k"), std::string("s") + c.stored);
    }
    // Null and other values store nothing, so the old value stays.
    for (const char* value : {"n;", "o;"}) {
        EXPECT_EQ(call("writeValue", "http://portal.test", std::string("\ns1:k") + value), "t");
        EXPECT_EQ(stored("k"), "3000000000");
    }
}

// What the web process claims (key, origin) counts only while the view's main document, which
// the program knows itself, is a trusted one.
TEST_F(ExternalRequestsTest, OnlyTheKeyOrATrustedOriginRunsAMethodUnderATrustedMainDocument) {
    struct Case {
        const char* origin;
        const char* key;
        const char* mainDocument;
        bool runs;
    } cases[] = {
        {"http://portal.test", "", kPortal, true},
        {"null", "secret", kBundled, true},
        {"", "secret", kBundled, true},
        {"http://evil.test", "secret", kBundled, true},
        {"http://portal.test", "", kBundled, true},
        {"null", "", kBundled, false},
        {"http://evil.test", "", kPortal, false},
        {"http://evil.test", "secre", kBundled, false},
        {"https://portal.test", "secrets", kBundled, false},
        // A trusted frame, or a leaked key, in a document the program does not trust.
        {"http://portal.test", "", "http://evil.test/page.html", false},
        {"null", "secret", "file:///home/user/elsewhere.html", false},
        {"null", "secret", "vantu-offline://page/nolink.html", false},
        {"http://portal.test", "secret", "", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string value = std::to_string(++n);
        std::string body =
            std::string(c.key) + "\ns1:ks" + std::to_string(value.size()) + ":" + value;
        std::string answer = call("writeValue", c.origin, body, c.mainDocument);
        EXPECT_EQ(answer, c.runs ? "t" : "") << c.origin << " " << c.key << " " << c.mainDocument;
        EXPECT_EQ(stored("k") == value, c.runs)
            << c.origin << " " << c.key << " " << c.mainDocument;
        // The program's own methods open a dialog on the PC: the same rule, before any of it.
        ops.calls.clear();
        call("saveGpxToPC", c.origin, std::string(c.key) + "\ns1:0", c.mainDocument);
        EXPECT_EQ(ops.calls.size(), c.runs ? 1u : 0u)
            << c.origin << " " << c.key << " " << c.mainDocument;
    }
}

TEST_F(ExternalRequestsTest, MalformedBodiesAnswerNothing) {
    EXPECT_EQ(call("", "http://portal.test", "\n"), "");
    EXPECT_EQ(call("writeValue", "http://portal.test", "\ns1:ks5:x"), "");
    EXPECT_EQ(stored("k"), "");
    EXPECT_EQ(call("writeFileText", "http://portal.test", "\ns5:a.txts4:x\"<\n"), "t");
    EXPECT_EQ(call("getFileText", "http://portal.test", "\ns5:a.txt"), "sx\"<\n");
}

TEST(PageCallScript, QuotesEveryArgumentAsAnAsciiStringLiteral) {
    PageCall call{"currentLushu", {"3", platform::utf8ToAnsi("a\"b\\c\n</script>中")}};
    EXPECT_EQ(
        pageCallScript(call),
        R"js((function(){var f=window["currentLushu"];if(typeof f!=="function")return false;)js"
        R"js(window["currentLushu"]("3","a\"b\\c\n\u003C/script>\u4E2D");return true})())js");
    EXPECT_EQ(pageCallScript({"onWinExit", {}}),
              R"js((function(){var f=window["onWinExit"];if(typeof f!=="function")return false;)js"
              R"js(window["onWinExit"]();return true})())js");
}

}  // namespace
