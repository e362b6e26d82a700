#include "support/page_method_cases.h"

#include "bridge/page_method_table.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/utf8_text.h"

namespace {

ScriptValue s(std::u16string text) {
    return ScriptValue::string(std::move(text));
}
const ScriptValue kNull = ScriptValue::null();
constexpr int32_t kOk = ExternalObject::kStatusOk;
constexpr int32_t kNoValue = ExternalObject::kStatusFalse;
// The recorded operation's answer, "<name北>".
constexpr const char* kRan = "ran";

std::vector<PageMethodCase> withRecordedAnswers(std::vector<PageMethodCase> cases) {
    for (PageMethodCase& c : cases)
        if (c.answer == kRan) c.answer = "s:<" + std::string(c.method) + "北>";
    return cases;
}

}  // namespace

const std::vector<PageMethodCase>& pageMethodCases() {
    // Each method with its text, without it (null), and with no navigator; then what only some
    // kinds of method do.
    // clang-format off
    static const std::vector<PageMethodCase> cases = withRecordedAnswers({
        // The settings and the page's text files: never behind the gate, never refused.
        {"getValue", {s(u"k")}, 0, {}, "s:stored", kOk},
        {"getValue", {kNull}, 1, {}, "s:", kOk},
        {"getValue", {}, 1, {}, "s:", kOk},
        {"writeValue", {s(u"k"), s(u"北京")}, 0, {"k=北京"}, "true", kOk},
        {"writeValue", {s(u"k"), ScriptValue::int32(-5)}, 1, {"k=-5"}, "true", kOk},
        {"writeValue", {s(u"k"), ScriptValue::real(2.5)}, 1, {"k=2.5"}, "true", kOk},
        // Without a value nothing stored is lost.
        {"writeValue", {s(u"k"), kNull}, 1, {}, "true", kOk},
        {"writeValue", {s(u"k"), ScriptValue::other()}, 1, {}, "true", kOk},
        {"writeValue", {s(u"k")}, 1, {}, "true", kOk},
        {"getFileText", {s(u"page.txt")}, 0, {}, "s:hello", kOk},
        {"getFileText", {s(u"missing.txt")}, 1, {}, "s:", kOk},
        {"getFileText", {kNull}, 1, {}, "s:", kOk},
        // Exactly one argument, or true.
        {"getFileText", {}, 1, {}, "true", kOk},
        {"getFileText", {s(u"page.txt"), s(u"page.txt")}, 1, {}, "true", kOk},
        {"writeFileText", {s(u"out.txt"), s(u"body")}, 0, {"out.txt=body"}, "true", kOk},
        {"writeFileText", {s(u"out.txt"), ScriptValue::int32(7)}, 1, {"out.txt=7"}, "true", kOk},
        {"writeFileText", {s(u"out.txt"), kNull}, 1, {}, "true", kOk},
        {"writeFileText", {s(u"../escape.txt"), s(u"x")}, 1, {}, "true", kOk},
        // The account and the pause: no navigator needed; without a text nothing runs.
        {"SetUsername", {s(u"li")}, 0, {"SetUsername(li)"}, kRan, kOk},
        {"SetUsername", {kNull}, 1, {}, "none", kOk},
        {"PauseTask", {s(u"p")}, 0, {"PauseTask(p)"}, "none", kOk},
        {"PauseTask", {kNull}, 1, {}, "none", kOk},
        // The device methods: the last argument's text, behind the gate.
        {"connToPDA", {s(u"r北")}, 1, {"connToPDA(r北)"}, kRan, kOk},
        {"connToPDA", {s(std::u16string(u"r\0tail", 6))}, 1, {"connToPDA(r)"}, kRan, kOk},
        {"connToPDA", {kNull}, 1, {}, "none", kNoValue},
        {"connToPDA", {s(u"r")}, 0, {}, "none", kNoValue},
        {"GetPdaAddr", {}, 1, {"GetPdaAddr()"}, kRan, kOk},
        {"GetPdaAddr", {kNull}, 1, {"GetPdaAddr()"}, kRan, kOk},
        {"GetPdaAddr", {}, 0, {}, "none", kNoValue},
        {"poiToPDA", {s(u"<p/>")}, 1, {"poiToPDA(<p/>)"}, kRan, kOk},
        {"poiToPDA", {kNull}, 1, {}, "none", kNoValue},
        {"poiToPDA", {s(u"<p/>")}, 0, {}, "none", kNoValue},
        {"deleteSelectedPoi", {s(u"1,2")}, 1, {"deleteSelectedPoi(1,2)"}, kRan, kOk},
        {"deleteSelectedPoi", {kNull}, 1, {}, "none", kNoValue},
        {"deleteSelectedPoi", {s(u"1")}, 0, {}, "none", kNoValue},
        {"showRoadbook", {s(u"1st"), s(u"2nd"), s(u"3rd")}, 1, {"showRoadbook(3rd)"}, kRan, kOk},
        {"showRoadbook", {s(u"3")}, 1, {"showRoadbook(3)"}, kRan, kOk},
        {"showRoadbook", {ScriptValue::int32(3)}, 1, {"showRoadbook(3)"}, kRan, kOk},
        {"showRoadbook", {ScriptValue::real(2.5)}, 1, {"showRoadbook(2.5)"}, kRan, kOk},
        {"showRoadbook", {ScriptValue::boolValue(true)}, 1, {"showRoadbook(-1)"}, kRan, kOk},
        {"showRoadbook", {ScriptValue::other()}, 1, {}, "none", kNoValue},
        {"showRoadbook", {}, 1, {}, "none", kNoValue},
        {"showRoadbook", {s(u"0")}, 0, {}, "none", kNoValue},
        // importToPDA without its text answers nothing, with success.
        {"importToPDA", {s(u"<rb/>")}, 1, {"importToPDA(<rb/>)"}, kRan, kOk},
        {"importToPDA", {kNull}, 1, {}, "none", kOk},
        {"importToPDA", {s(u"<rb/>")}, 0, {}, "none", kNoValue},
        {"deleteSelected", {s(u"2,0")}, 1, {"deleteSelected(2,0)"}, kRan, kOk},
        {"deleteSelected", {kNull}, 1, {}, "none", kNoValue},
        {"deleteSelected", {s(u"0")}, 0, {}, "none", kNoValue},
        {"exportFromPDA", {s(u"0")}, 1, {"exportFromPDA(0)"}, kRan, kOk},
        {"exportFromPDA", {kNull}, 1, {}, "none", kNoValue},
        {"exportFromPDA", {s(u"0")}, 0, {}, "none", kNoValue},
        // The program's own: exactly their arguments, then behind the gate (but backupOutcome).
        {"installPackageFromPC", {s(u"")}, 1, {"installPackageFromPC()"}, kRan, kOk},
        {"installPackageFromPC", {kNull}, 1, {}, "none", kNoValue},
        {"installPackageFromPC", {s(u"")}, 0, {}, "none", kNoValue},
        {"installGpxFromPC", {s(u"Ride")}, 1, {"installGpxFromPC(Ride)"}, kRan, kOk},
        {"installGpxFromPC", {kNull}, 1, {}, "none", kNoValue},
        {"installGpxFromPC", {s(u"Ride")}, 0, {}, "none", kNoValue},
        {"saveGpxToPC", {s(u"0")}, 1, {"saveGpxToPC(0)"}, kRan, kOk},
        {"saveGpxToPC", {ScriptValue::int32(3)}, 1, {"saveGpxToPC(3)"}, kRan, kOk},
        {"saveGpxToPC", {kNull}, 1, {}, "none", kNoValue},
        {"saveGpxToPC", {s(u"0"), s(u"1")}, 1, {}, "none", kNoValue},
        {"saveGpxToPC", {s(u"0")}, 0, {}, "none", kNoValue},
        {"backupToPC", {s(u"nav.zip")}, 1, {"backupToPC(nav.zip)"}, kRan, kOk},
        {"backupToPC", {kNull}, 1, {}, "none", kNoValue},
        {"backupToPC", {s(u"")}, 0, {}, "none", kNoValue},
        {"restoreFromPC", {s(u"replace")}, 1, {"restoreFromPC(replace)"}, kRan, kOk},
        {"restoreFromPC", {kNull}, 1, {}, "none", kNoValue},
        // A stray argument would otherwise take the real one's place: "" then "replace".
        {"restoreFromPC", {s(u""), s(u"replace")}, 1, {}, "none", kNoValue},
        {"restoreFromPC", {}, 1, {}, "none", kNoValue},
        {"restoreFromPC", {s(u"")}, 0, {}, "none", kNoValue},
        {"backupOutcome", {}, 0, {"backupOutcome()"}, kRan, kOk},
        {"backupOutcome", {kNull}, 1, {}, "none", kNoValue},
        {"editRouteBook", {s(u"0")}, 1, {"editRouteBook(0)"}, kRan, kOk},
        {"editRouteBook", {s(u"0")}, 0, {}, "none", kNoValue},
        {"saveEditToPDA", {s(u"A\n\n{}")}, 1, {"saveEditToPDA(A\n\n{})"}, kRan, kOk},
        {"saveEditToPDA", {kNull}, 1, {}, "none", kNoValue},
        {"saveEditToPC", {s(u"gpx\n{}")}, 0, {"saveEditToPC(gpx\n{})"}, kRan, kOk},
        {"saveEditToPC", {s(u"gpx"), s(u"{}")}, 1, {}, "none", kNoValue},
        // Names are exact: an unknown one runs nothing and answers nothing.
        {"getvalue", {s(u"k")}, 1, {}, "none", kOk},
        {"saveGpxToPc", {s(u"0")}, 1, {}, "none", kOk},
        {"toString", {}, 1, {}, "none", kOk},
    });
    // clang-format on
    return cases;
}

bool bridgeMakes(const PageMethodCase& c) {
    const PageMethod* method = findPageMethod(c.method);
    if (method == nullptr || c.args.size() != method->argumentCount()) return false;
    for (const ScriptValue& arg : c.args)
        if (arg.type != ScriptValue::Type::String) return false;
    return true;
}

std::string describeAnswer(const ScriptResult& result) {
    switch (result.type) {
        case ScriptResult::Type::String:
            return "s:" + utf8::fromUtf16(result.text);
        case ScriptResult::Type::BoolTrue:
            return "true";
        case ScriptResult::Type::None:
            break;
    }
    return "none";
}

void PageMethodFixture::prepare(const PageMethodCase& c) {
    settings.writeValue("k", "stored");
    writeFileBytes(dir.file("page.txt"), "hello");
    platform::deleteFile(dir.file("out.txt"));
    ops.calls.clear();
    ops.connected = c.connected;
}

std::vector<std::string> PageMethodFixture::observed() const {
    std::vector<std::string> seen;
    for (const std::string& call : ops.calls)
        seen.push_back(platform::ansiToUtf8(call));
    std::string k = settings.getValue("k");
    if (k != "stored") seen.push_back("k=" + platform::ansiToUtf8(k));
    if (platform::fileExists(dir.file("out.txt")))
        seen.push_back("out.txt=" + readFileBytes(dir.file("out.txt")));
    return seen;
}
