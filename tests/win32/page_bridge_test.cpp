// The bundled page's bridge (portal/bridge.js) run by the system's script engine against the
// program's own window.external, as IE11 runs it in the WebBrowser control.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bridge/page_method_table.h"
#include "platform/codepage.h"
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

// A script string literal of `text`, every character but plain ASCII escaped.
std::u16string literal(const std::u16string& text) {
    std::u16string out = u"'";
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != u'\'' && c != u'\\') {
            out += c;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
        out += utf8::toUtf16(escape);
    }
    return out + u"'";
}

// The page's calls of the page method cases, as the bridge's callers make them: each answer as
// the cases write it.
TEST_F(PageBridgeTest, InTheProgramTheBridgeServesEveryCaseOfThePageMethods) {
    for (int mode : kModes) {
        auto page = pageWith(mode, factory.makeExternalFor(L"http://portal.example/"));
        EXPECT_EQ(page->evaluate(u"B.inProgram"), "true");
        std::set<std::string> reached;
        int n = 0;
        for (const PageMethodCase& c : pageMethodCases()) {
            const std::string label = std::string(c.method) + " (case " + std::to_string(n++) +
                                      ") in mode " + std::to_string(mode);
            if (!bridgeMakes(c)) continue;
            prepare(c);
            std::u16string call = u"B." + utf8::toUtf16(c.method) + u"(";
            for (size_t i = 0; i < c.args.size(); ++i)
                call += (i ? u", " : u"") + literal(c.args[i].text);
            std::u16string expression =
                u"(function (v) { return v === undefined ? 'none' : v === true ? 'true' : "
                u"'s:' + v; })(" +
                call + u"))";
            EXPECT_EQ(platform::ansiToUtf8(page->evaluate(expression)), c.answer) << label;
            EXPECT_EQ(observed(), c.calls) << label;
            if (c.answer != "none" || !c.calls.empty()) reached.insert(c.method);
        }
        // Every method is run through the bridge at least once.
        for (const PageMethod& method : pageMethods())
            EXPECT_TRUE(reached.count(method.name)) << method.name;
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
