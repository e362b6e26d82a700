// The bundled page's bridge (portal/bridge.js) run by the system's script engine against the
// program's own window.external, as IE11 runs it in the WebBrowser control.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"
#include "portal_external.h"
#include "script_engine.h"
#include "stand_in_dispatch.h"

namespace {

constexpr int kModes[] = {ScriptEngine::kEs5Mode, ScriptEngine::kIe11Mode};

class PageBridgeTest : public ::testing::Test, protected PortalExternal {
  protected:
    void SetUp() override {
        CoInitialize(nullptr);
        // The copy of the page beside this test program.
        std::string text;
        ASSERT_TRUE(platform::readWholeFile(
            platform::programFolder() + "portal" + platform::kPathSeparator + "bridge.js", text));
        bridge = utf8::toUtf16(text);
    }
    void TearDown() override { CoUninitialize(); }

    // An engine that has run the bridge, with `external` (if any) as window.external; the
    // bridge is B.
    std::unique_ptr<ScriptEngine> pageWith(int mode, ComRef<IDispatch> external) {
        bool hasExternal = static_cast<bool>(external);
        ScriptEngine::Globals globals;
        if (hasExternal) globals.emplace_back(L"external", std::move(external));
        auto engine = std::make_unique<ScriptEngine>(mode, std::move(globals));
        EXPECT_EQ(engine->failure(), "");
        std::u16string window =
            hasExternal ? u"var window = {external: external};\n" : u"var window = {};\n";
        EXPECT_EQ(engine->run(window + bridge + u"\nvar B = PortalBridge;"), "");
        return engine;
    }

    std::u16string bridge;
};

TEST_F(PageBridgeTest, InTheProgramEveryMethodGetsItsArgumentsInOrder) {
    // A device method answers "<name北北>" and records "name(argument)".
    const std::string kAnswer = "\xB1\xB1>";
    struct Case {
        const char16_t* expression;  // B is the bridge
        int connected;
        std::string value;
        std::vector<std::string> calls;
    } cases[] = {
        {u"B.inProgram", 1, "true", {}},
        {u"B.getValue('k')", 1, "stored", {}},
        {u"B.writeValue('k', 'new') + ',' + B.getValue('k')", 1, "true,new", {}},
        {u"B.getFileText('page.txt')", 1, "hello", {}},
        {u"B.writeFileText('out.txt', 'body') + ',' + B.getFileText('out.txt')",
         1,
         "true,body",
         {}},
        {u"B.SetUsername('li')", 1, "<SetUsername" + kAnswer, {"SetUsername(li)"}},
        {u"B.connToPDA('r')", 1, "<connToPDA" + kAnswer, {"connToPDA(r)"}},
        {u"B.GetPdaAddr()", 1, "<GetPdaAddr" + kAnswer, {"GetPdaAddr()"}},
        {u"B.poiToPDA('<poi/>')", 1, "<poiToPDA" + kAnswer, {"poiToPDA(<poi/>)"}},
        {u"B.deleteSelectedPoi('1,2')",
         1,
         "<deleteSelectedPoi" + kAnswer,
         {"deleteSelectedPoi(1,2)"}},
        {u"B.showRoadbook('3')", 1, "<showRoadbook" + kAnswer, {"showRoadbook(3)"}},
        {u"B.importToPDA('<rb/>')", 1, "<importToPDA" + kAnswer, {"importToPDA(<rb/>)"}},
        {u"B.deleteSelected('2,0')", 1, "<deleteSelected" + kAnswer, {"deleteSelected(2,0)"}},
        {u"B.exportFromPDA('0')", 1, "<exportFromPDA" + kAnswer, {"exportFromPDA(0)"}},
        {u"B.PauseTask('p')", 1, "undefined", {"PauseTask(p)"}},
        {u"B.installPackageFromPC('')",
         1,
         "<installPackageFromPC" + kAnswer,
         {"installPackageFromPC()"}},
        {u"B.installGpxFromPC('Ride')",
         1,
         "<installGpxFromPC" + kAnswer,
         {"installGpxFromPC(Ride)"}},
        {u"B.saveGpxToPC(3)", 1, "<saveGpxToPC" + kAnswer, {"saveGpxToPC(3)"}},
        {u"B.restoreFromPC('replace')", 1, "<restoreFromPC" + kAnswer, {"restoreFromPC(replace)"}},
        {u"B.backupOutcome()", 0, "<backupOutcome" + kAnswer, {"backupOutcome()"}},
        // Without a navigator the device methods give no value, and throw nothing.
        {u"['connToPDA', 'GetPdaAddr', 'poiToPDA', 'deleteSelectedPoi', 'showRoadbook', "
         u"'importToPDA', 'deleteSelected', 'exportFromPDA', 'installPackageFromPC', "
         u"'installGpxFromPC', 'saveGpxToPC'].map(function (m) { "
         u"return typeof B[m]('0'); }).join()",
         0,
         "undefined,undefined,undefined,undefined,undefined,undefined,undefined,undefined,"
         "undefined,undefined,undefined",
         {}},
    };
    for (int mode : kModes) {
        settings.writeValue("k", "stored");
        writeFileBytes(dir.file("page.txt"), "hello");
        auto page = pageWith(mode, factory.makeExternalFor(L"http://portal.example/"));
        for (const Case& c : cases) {
            ops.calls.clear();
            ops.connected = c.connected;
            std::string label = utf8::fromUtf16(c.expression) + " in mode " + std::to_string(mode);
            EXPECT_EQ(page->evaluate(c.expression), c.value) << label;
            EXPECT_EQ(ops.calls, c.calls) << label;
        }
    }
}

TEST_F(PageBridgeTest, OutsideTheProgramTheBridgeFindsNoProgramAndCallsNothing) {
    settings.writeValue("k", "stored");
    for (int mode : kModes) {
        ComRef<IDispatch> outside[] = {
            ComRef<IDispatch>(),                         // a browser without window.external
            ComRef<IDispatch>(new StandInDispatch({})),  // IE's own, without the program's names
            factory.makeExternalFor(L"about:blank"),     // the program's, for a stranger document
        };
        for (ComRef<IDispatch>& external : outside) {
            std::string label = std::to_string(mode) + (external ? " with an external" : "");
            auto page = pageWith(mode, std::move(external));
            EXPECT_EQ(page->evaluate(u"B.inProgram"), "false") << label;
            EXPECT_EQ(page->evaluate(u"B.getValue('k') + ',' + B.connToPDA('r')"),
                      "undefined,undefined")
                << label;
        }
    }
    EXPECT_EQ(ops.gateChecks, 0);
    EXPECT_TRUE(ops.calls.empty());
}

}  // namespace
