#include "app/win32/script_caller.h"

#include <gtest/gtest.h>
#include <mshtml.h>

#include "app/win32/com_object.h"
#include "variants.h"

namespace {

ULONG referencesOf(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// A page's script object: three global functions, and a record of every call.
class FakeScript final : public ComObject<IDispatch> {
  public:
    std::vector<std::string> calls;  // "name(arg,arg)" with the ANSI text of each argument
    std::u16string lastWideArgs;
    LCID lookupLocale = 99;
    HRESULT forcedLookup = S_OK;  // returned by GetIDsOfNames when set
    HRESULT forcedStatus = S_OK;  // returned by Invoke when set

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT n, LCID locale,
                                            DISPID* ids) override {
        lookupLocale = locale;
        if (forcedLookup != S_OK) return forcedLookup;
        if (!IsEqualIID(iid, IID_NULL) || n != 1) return E_INVALIDARG;
        for (size_t i = 0; i < kNames.size(); ++i) {
            if (wcscmp(names[0], kNames[i]) == 0) {
                ids[0] = static_cast<DISPID>(i + 1);
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT*) override {
        if (forcedStatus != S_OK) return forcedStatus;
        if (id < 1 || id > static_cast<DISPID>(kNames.size())) return DISP_E_MEMBERNOTFOUND;
        std::u16string name(kNames[id - 1], kNames[id - 1] + wcslen(kNames[id - 1]));
        std::string call = platform::utf16ToAnsi(name) + "(";
        lastWideArgs.clear();
        // Back to the page's order: the last variant is the first parameter.
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& v = params->rgvarg[i];
            call += ansiOf(v) + (i > 0 ? "," : "");
            if (V_VT(&v) == VT_BSTR && V_BSTR(&v) != nullptr)
                lastWideArgs.append(V_BSTR(&v), V_BSTR(&v) + SysStringLen(V_BSTR(&v)));
        }
        call += ")";
        if (flags != DISPATCH_METHOD || locale != 0 || !IsEqualIID(iid, IID_NULL) ||
            params->cNamedArgs != 0)
            call += " badly";
        calls.push_back(call);
        if (kNames[id - 1] == std::wstring(L"throws")) {
            exception->bstrDescription = SysAllocString(L"page error");
            return DISP_E_EXCEPTION;
        }
        if (result != nullptr) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(L"done");
        }
        return S_OK;
    }

  private:
    static constexpr std::array<const wchar_t*, 3> kNames = {L"kankan", L"onWinExit", L"throws"};
};

// The browser's document: only its script object is ever asked for, through IHTMLDocument2,
// whose first methods are IHTMLDocument's.
class FakeDocument final : public ComObject<IHTMLDocument> {
  public:
    ComRef<IDispatch> script;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IHTMLDocument2)) return ComObject::QueryInterface(iid, out);
        *out = static_cast<IHTMLDocument*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_Script(IDispatch** out) override {
        *out = ComRef<IDispatch>::share(script.get()).detach();
        return script ? S_OK : E_FAIL;
    }
};

class ScriptCallerTest : public ::testing::Test {
  protected:
    FakeScript& script = *new FakeScript;
    FakeDocument& document = *new FakeDocument;

    ScriptCallerTest() { document.script = ComRef<IDispatch>::share(&script); }
    ~ScriptCallerTest() override {
        // Every reference the callers took has been given back.
        EXPECT_EQ(document.Release(), 0u);
        EXPECT_EQ(script.Release(), 0u);
    }
};

TEST_F(ScriptCallerTest, FailuresAnswerFalseAndCallNothing) {
    FakeDocument& scriptless = *new FakeDocument;
    struct Case {
        const char* what;
        IUnknown* document;  // given to setDocument unless callOnly
        bool callOnly;
        const char* function;
        HRESULT lookup;  // forced status of the look-up, or S_OK
        HRESULT invoke;  // forced status of the call, or S_OK
        bool answer;     // of setDocument, or of the call
        const char* called;
    } cases[] = {
        {"no document", nullptr, false, "", S_OK, S_OK, false, ""},
        {"none held", nullptr, true, "kankan", S_OK, S_OK, false, ""},
        {"not an HTML document", &script, false, "", S_OK, S_OK, false, ""},
        {"scriptless", &scriptless, false, "", S_OK, S_OK, true, ""},
        {"no script", nullptr, true, "kankan", S_OK, S_OK, false, ""},
        {"look-up fails", &document, false, "kankan", E_FAIL, S_OK, false, ""},
        {"call fails", &document, false, "kankan", S_OK, E_OUTOFMEMORY, false, ""},
        {"no such function", &document, false, "notAFunction", S_OK, S_OK, false, ""},
        {"function throws", &document, false, "throws", S_OK, S_OK, false, "throws(x)"},
    };
    ScriptCaller caller;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        script.calls.clear();
        script.forcedLookup = c.lookup;
        script.forcedStatus = c.invoke;
        bool answer = c.callOnly ? caller.call(c.function, {"x"}) : caller.setDocument(c.document);
        if (!c.callOnly && *c.function) answer = answer && caller.call(c.function, {"x"});
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(script.calls,
                  *c.called ? std::vector<std::string>{c.called} : std::vector<std::string>{});
    }

    // A document that is replaced by one that is refused is let go all the same.
    script.forcedLookup = script.forcedStatus = S_OK;
    EXPECT_TRUE(caller.setDocument(&document));
    EXPECT_FALSE(caller.setDocument(&script));
    EXPECT_EQ(referencesOf(&document), 1u);
    EXPECT_FALSE(caller.call("kankan", {}));
    EXPECT_EQ(scriptless.Release(), 0u);
}

TEST_F(ScriptCallerTest, ArgumentsReachThePageFunctionInOrderAsStrings) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* received;
    } cases[] = {
        {"kankan", {"12", "down"}, "kankan(12,down)"},
        {"kankan", {"1", "2", "3"}, "kankan(1,2,3)"},
        {"onWinExit", {}, "onWinExit()"},
        {"kankan", {""}, "kankan()"},
        {"kankan", {"\xB1\xB1\xBE\xA9"}, "kankan(\xB1\xB1\xBE\xA9)"},
    };
    for (const auto& c : cases) {
        script.calls.clear();
        ScriptCaller caller;
        ASSERT_TRUE(caller.setDocument(&document));
        EXPECT_TRUE(caller.call(c.name, c.args));
        EXPECT_EQ(script.calls, std::vector<std::string>{c.received});
    }
    // GBK text arrives as the characters it stands for, and names are looked up in the
    // system's default language.
    EXPECT_EQ(script.lastWideArgs, u"\u5317\u4eac");
    EXPECT_EQ(script.lookupLocale, static_cast<LCID>(2048));
}

TEST_F(ScriptCallerTest, PageCallsForTheRouter) {
    EXPECT_TRUE(callPageFunction(&document, {"kankan", {"5", "up"}}));
    EXPECT_FALSE(callPageFunction(&document, {"missing", {}}));
    EXPECT_FALSE(callPageFunction(nullptr, {"kankan", {}}));
    EXPECT_EQ(script.calls, std::vector<std::string>{"kankan(5,up)"});
}

}  // namespace
