#include "bridge/external_object.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "support/recording_methods.h"
#include "support/temp_dir.h"

namespace {

class ExternalObjectTest : public ::testing::Test {
  protected:
    TempDir dir;
    SettingsStore settings{dir.path()};
    RecordingMethods ops;
    ExternalObject external{settings, ops};

    // Calls a method by name with the script's arguments in script order.
    int32_t call(const char* name, std::vector<ScriptValue> scriptArgs, ScriptResult* result) {
        return external.call(platform::ansiToUtf16(name), scriptArgs, result);
    }
    static ScriptValue str(const char* ansi) {
        return ScriptValue::string(platform::ansiToUtf16(ansi));
    }
};

TEST_F(ExternalObjectTest, NamesMapToTheirDispidsCaseSensitively) {
    for (const PageMethod& method : kPageMethods) {
        std::u16string name = platform::ansiToUtf16(method.name);
        int32_t id = -7;
        EXPECT_EQ(external.getIDsOfNames(&name, 1, &id), 0);
        EXPECT_EQ(id, method.dispid) << method.name;
    }
    // Unknown names succeed and leave the id alone; only the first name counts.
    for (const char16_t* unknown :
         {u"getvalue", u"GETVALUE", u"getValue ", u"", u"toString", u"savegpxtopc"}) {
        std::u16string name(unknown);
        int32_t id = 42;
        EXPECT_EQ(external.getIDsOfNames(&name, 1, &id), 0);
        EXPECT_EQ(id, 42);
    }
    std::u16string two[] = {u"nope", u"getValue"};
    int32_t ids[2] = {5, 5};
    external.getIDsOfNames(two, 2, ids);
    EXPECT_EQ(ids[0], 5);
}

TEST_F(ExternalObjectTest, TheDeviceGateCoversMethodsFiveToTwelveAndTheProgramsOwn) {
    ops.connected = 0;
    for (int32_t id = -1; id <= 21; ++id) {
        ScriptResult result;
        int before = ops.gateChecks;
        int32_t status = external.invoke(id, {str("x")}, &result);
        bool gated = (id >= 5 && id <= 12) || (id >= 14 && id <= 18);
        EXPECT_EQ(ops.gateChecks - before, gated ? 1 : 0) << id;
        if (gated) {
            EXPECT_EQ(status, ExternalObject::kStatusFalse) << id;
            EXPECT_EQ(result.type, ScriptResult::Type::None) << id;
        } else {
            // backupOutcome takes no argument, and refuses one.
            EXPECT_EQ(status, id == 19 ? ExternalObject::kStatusFalse : ExternalObject::kStatusOk)
                << id;
        }
    }
    // Nothing behind the gate ran; PauseTask and SetUsername did.
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"SetUsername(x)", "PauseTask(x)"}));
}

// A stray argument of the program's own methods would take the real one's place ("", "replace"
// read as "replace"): each runs with exactly its arguments, and nothing runs otherwise.
TEST_F(ExternalObjectTest, TheProgramsOwnMethodsTakeExactlyTheirArguments) {
    for (const PageMethod& method : kPageMethods) {
        if (!method.own) continue;
        for (int given = 0; given <= 2; ++given) {
            ops.calls.clear();
            ScriptResult result;
            std::vector<ScriptValue> args(static_cast<size_t>(given), str(""));
            int32_t status = call(method.name, args, &result);
            const bool exact = given == method.arguments;
            EXPECT_EQ(status, exact ? ExternalObject::kStatusOk : ExternalObject::kStatusFalse)
                << method.name << " with " << given;
            EXPECT_EQ(ops.calls.size(), exact ? 1u : 0u) << method.name << " with " << given;
        }
    }
}

TEST_F(ExternalObjectTest, StatusAndResultOfEveryMethodWithTextAndWithNull) {
    struct Case {
        const char* method;
        int32_t statusWithNull;
        bool resultWithNull;
        bool textResult;  // with a text argument
    } cases[] = {
        {"SetUsername", 0, false, true},
        {"connToPDA", 1, false, true},
        {"GetPdaAddr", 0, true, true},
        {"poiToPDA", 1, false, true},
        {"deleteSelectedPoi", 1, false, true},
        {"showRoadbook", 1, false, true},
        {"importToPDA", 0, false, true},
        {"deleteSelected", 1, false, true},
        {"exportFromPDA", 1, false, true},
        {"PauseTask", 0, false, false},
        // The program's own: no text, no value, and no dialog.
        {"installPackageFromPC", 1, false, true},
        {"installGpxFromPC", 1, false, true},
        {"saveGpxToPC", 1, false, true},
        {"backupToPC", 1, false, true},
        {"restoreFromPC", 1, false, true},
    };
    for (const auto& c : cases) {
        ScriptResult withNull;
        EXPECT_EQ(call(c.method, {ScriptValue::null()}, &withNull), c.statusWithNull) << c.method;
        EXPECT_EQ(withNull.type != ScriptResult::Type::None, c.resultWithNull) << c.method;

        ScriptResult withText;
        EXPECT_EQ(call(c.method, {str("1,2")}, &withText), 0) << c.method;
        if (c.textResult) {
            ASSERT_EQ(withText.type, ScriptResult::Type::String) << c.method;
            std::string name = c.method;
            EXPECT_EQ(platform::utf16ToAnsi(withText.text), "<" + name + "\xB1\xB1>");
        } else {
            EXPECT_EQ(withText.type, ScriptResult::Type::None) << c.method;
        }
    }
}

TEST_F(ExternalObjectTest, OneArgumentMethodsTakeTheLastScriptArgument) {
    ScriptResult result;
    call("showRoadbook", {str("first"), str("second"), str("third")}, &result);
    call("showRoadbook", {}, &result);  // no argument: no text
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"showRoadbook(third)"}));
}

TEST_F(ExternalObjectTest, TextArgumentsStopAtNulAndConvertToAnsi) {
    ScriptResult result;
    call("connToPDA", {ScriptValue::string(std::u16string(u"r\u5317\0tail", 6))}, &result);
    // Numbers and booleans passed where a text is expected arrive as their string form.
    call("showRoadbook", {ScriptValue::int32(3)}, &result);
    call("showRoadbook", {ScriptValue::real(2.5)}, &result);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"connToPDA(r\xB1\xB1)", "showRoadbook(3)",
                                                   "showRoadbook(2.5)"}));
    EXPECT_EQ(call("showRoadbook", {ScriptValue::other()}, &result), 1);
}

TEST_F(ExternalObjectTest, WriteValueStoresTheValueConversions) {
    struct Case {
        ScriptValue value;
        const char* stored;
    } cases[] = {
        {ScriptValue::int32(12), "12"},
        {ScriptValue::int32(-5), "-5"},
        {ScriptValue::int32(INT32_MIN), "-2147483648"},
        {str("abc"), "abc"},
        {str("\xB1\xB1\xBE\xA9"), "\xB1\xB1\xBE\xA9"},
        {ScriptValue::real(1.5), "1.5"},
        {ScriptValue::real(0.1 + 0.2), "0.3"},
        {ScriptValue::real(1e21), "1E+21"},
        {ScriptValue::real(-0.0), "0"},
        {ScriptValue::real(123456789012.0), "123456789012"},
        {ScriptValue::boolValue(true), "-1"},
        {ScriptValue::boolValue(false), "0"},
        {ScriptValue::empty(), ""},
    };
    for (const auto& c : cases) {
        ScriptResult result;
        EXPECT_EQ(call("writeValue", {str("k"), c.value}, &result), 0);
        EXPECT_EQ(result.type, ScriptResult::Type::BoolTrue);
        EXPECT_EQ(settings.getValue("k"), c.stored);
    }
}

TEST_F(ExternalObjectTest, ValuesWithoutAStringFormLoseNothing) {
    settings.writeValue("k", "kept");
    writeFileBytes(dir.file("f.txt"), "kept");
    for (const ScriptValue& v : {ScriptValue::null(), ScriptValue::other()}) {
        ScriptResult result;
        call("writeValue", {str("k"), v}, &result);
        EXPECT_EQ(result.type, ScriptResult::Type::BoolTrue);
        call("writeFileText", {str("f.txt"), v}, &result);
        EXPECT_EQ(result.type, ScriptResult::Type::BoolTrue);
    }
    ScriptResult result;
    call("writeValue", {str("k")}, &result);  // no value at all
    EXPECT_EQ(settings.getValue("k"), "kept");
    EXPECT_EQ(readFileBytes(dir.file("f.txt")), "kept");
}

TEST_F(ExternalObjectTest, TwoArgumentMethodsTakeKeyAndValueInScriptOrder) {
    ScriptResult result;
    call("writeFileText", {str("out.txt"), ScriptValue::int32(7)}, &result);
    EXPECT_EQ(result.type, ScriptResult::Type::BoolTrue);
    EXPECT_EQ(readFileBytes(dir.file("out.txt")), "7");
    // A refused write still answers true.
    call("writeFileText", {str("../escape.txt"), str("x")}, &result);
    EXPECT_EQ(result.type, ScriptResult::Type::BoolTrue);
}

TEST_F(ExternalObjectTest, GetFileTextNeedsExactlyOneArgument) {
    writeFileBytes(dir.file("page.txt"), "hello");
    struct Case {
        std::vector<ScriptValue> args;
        ScriptResult::Type type;
        const char* text;
    } cases[] = {
        {{}, ScriptResult::Type::BoolTrue, ""},
        {{str("page.txt")}, ScriptResult::Type::String, "hello"},
        {{str("page.txt"), str("page.txt")}, ScriptResult::Type::BoolTrue, ""},
        {{str("missing.txt")}, ScriptResult::Type::String, ""},
    };
    for (const auto& c : cases) {
        ScriptResult result;
        EXPECT_EQ(call("getFileText", c.args, &result), 0);
        EXPECT_EQ(result.type, c.type);
        EXPECT_EQ(platform::utf16ToAnsi(result.text), c.text);
    }
}

TEST_F(ExternalObjectTest, ResultIsOnlyWrittenWhenASlotIsGiven) {
    EXPECT_EQ(call("getValue", {str("k")}, nullptr), 0);
    EXPECT_EQ(call("connToPDA", {str("r")}, nullptr), 0);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"connToPDA(r)"}));
}

}  // namespace
