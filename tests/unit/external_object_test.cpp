#include "bridge/external_object.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "support/page_method_cases.h"

namespace {

class ExternalObjectTest : public ::testing::Test, protected PageMethodFixture {
  protected:
    // Calls a method by name with the script's arguments in script order.
    int32_t call(const char* name, std::vector<ScriptValue> scriptArgs, ScriptResult* result) {
        return external.call(platform::ansiToUtf16(name), scriptArgs, result);
    }
    static ScriptValue str(const char* ansi) {
        return ScriptValue::string(platform::ansiToUtf16(ansi));
    }
};

TEST_F(ExternalObjectTest, ServesEveryCaseOfThePageMethods) {
    int n = 0;
    for (const PageMethodCase& c : pageMethodCases()) {
        prepare(c);
        ScriptResult result;
        int32_t status = call(c.method, c.args, &result);
        const std::string label = std::string(c.method) + " (case " + std::to_string(n++) + ")";
        EXPECT_EQ(status, c.status) << label;
        EXPECT_EQ(describeAnswer(result), c.answer) << label;
        EXPECT_EQ(observed(), c.calls) << label;
    }
}

// The real portal page holds these DISPIDs. Only the first name counts.
TEST_F(ExternalObjectTest, NamesKeepTheirDispids) {
    const char* const portal[] = {
        "getValue",          "writeValue",    "getFileText",          "writeFileText",
        "SetUsername",       "connToPDA",     "GetPdaAddr",           "poiToPDA",
        "deleteSelectedPoi", "showRoadbook",  "importToPDA",          "deleteSelected",
        "exportFromPDA",     "PauseTask",     "installPackageFromPC", "installGpxFromPC",
        "saveGpxToPC",       "backupToPC",    "restoreFromPC",        "backupOutcome",
        "editRouteBook",     "saveEditToPDA", "saveEditToPC",
    };
    for (int32_t dispid = 0; dispid < static_cast<int32_t>(std::size(portal)); ++dispid) {
        std::u16string name = platform::ansiToUtf16(portal[dispid]);
        int32_t id = -7;
        EXPECT_EQ(external.getIDsOfNames(&name, 1, &id), 0);
        EXPECT_EQ(id, dispid) << portal[dispid];
    }
    // Unknown names succeed and leave the id alone.
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

TEST_F(ExternalObjectTest, ResultIsOnlyWrittenWhenASlotIsGiven) {
    EXPECT_EQ(call("getValue", {str("k")}, nullptr), 0);
    EXPECT_EQ(call("connToPDA", {str("r")}, nullptr), 0);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"connToPDA(r)"}));
}

}  // namespace
