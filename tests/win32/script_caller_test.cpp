#include "app/win32/script_caller.h"

#include <gtest/gtest.h>
#include <mshtml.h>

#include "variants.h"

namespace {

constexpr const char* kPrefix = "JSCall Error:\n";
constexpr const char* kNoText = "FormatMessage Netive Error";

// The reference count of a fake.
struct Counted {
    LONG references = 1;
    ULONG add() { return static_cast<ULONG>(++references); }
    ULONG release() { return static_cast<ULONG>(--references); }
};

// A page's script object: three global functions, and a record of every call.
class FakeScript final : public IDispatch {
  public:
    Counted count;
    std::vector<std::string> calls;  // "name(arg,arg)" with the ANSI text of each argument
    std::u16string lastWideArgs;
    LCID lookupLocale = 99;
    HRESULT forcedLookup = S_OK;  // returned by GetIDsOfNames when set
    HRESULT forcedStatus = S_OK;  // returned by Invoke when set

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return count.add(); }
    ULONG STDMETHODCALLTYPE Release() override { return count.release(); }
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

// The browser's document: only its script object is ever asked for.
class FakeDocument final : public IHTMLDocument {
  public:
    Counted count;
    IDispatch* script = nullptr;  // handed out with a reference of its own

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID_IHTMLDocument2)) {
            *out = static_cast<IHTMLDocument*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return count.add(); }
    ULONG STDMETHODCALLTYPE Release() override { return count.release(); }
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
        *out = script;
        if (script != nullptr) script->AddRef();
        return script != nullptr ? S_OK : E_FAIL;
    }
};

class ScriptCallerTest : public ::testing::Test {
  protected:
    FakeScript script;
    FakeDocument document;

    ScriptCallerTest() { document.script = &script; }
    ~ScriptCallerTest() override {
        // Every reference the callers took has been given back.
        EXPECT_EQ(script.count.references, 1);
        EXPECT_EQ(document.count.references, 1);
    }
};

TEST_F(ScriptCallerTest, FailuresBeforeTheCallSayWhy) {
    FakeDocument scriptless;
    struct Case {
        IUnknown* document;  // given to setDocument unless callOnly
        bool callOnly;
        bool answer;  // of setDocument, or of the call
        const char* error;
    } cases[] = {
        {nullptr, false, false, "NULL pointer"},
        {nullptr, true, false, "NULL pointer"},  // no document held at the call
        {&script, false, false, "Failed to get HTML document COM object"},
        {&scriptless, false, true, ""},
        {&scriptless, true, false, "Cannot GetScript"},
    };
    ScriptCaller caller;
    for (const auto& c : cases) {
        bool answer = c.callOnly ? caller.call("kankan") : caller.setDocument(c.document);
        EXPECT_EQ(answer, c.answer) << c.error;
        if (*c.error != '\0') {
            EXPECT_EQ(caller.lastError(), std::string(kPrefix) + c.error);
        }
    }
    EXPECT_TRUE(script.calls.empty());

    // A document that is replaced by one that is refused is let go all the same.
    EXPECT_TRUE(caller.setDocument(&document));
    EXPECT_FALSE(caller.setDocument(&script));
    EXPECT_EQ(document.count.references, 1);
    EXPECT_FALSE(caller.call("kankan"));
    EXPECT_EQ(caller.lastError(), std::string(kPrefix) + "NULL pointer");
    EXPECT_EQ(scriptless.count.references, 1);
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
        VARIANT result;
        VariantInit(&result);
        EXPECT_TRUE(caller.call(c.name, c.args, &result)) << caller.lastError();
        EXPECT_EQ(script.calls, std::vector<std::string>{c.received});
        EXPECT_EQ(ansiOf(result), "done");
        VariantClear(&result);
    }
    // GBK text arrives as the characters it stands for, and names are looked up in the
    // system's default language.
    EXPECT_EQ(script.lastWideArgs, u"\u5317\u4eac");
    EXPECT_EQ(script.lookupLocale, static_cast<LCID>(2048));
}

TEST_F(ScriptCallerTest, FailedLookupsAndCallsCarryTheSystemText) {
    const HRESULT unknownToTheSystem = static_cast<HRESULT>(0xA0CDF00D);
    struct Case {
        const char* name;
        HRESULT lookup;  // forced status of the look-up, or S_OK
        HRESULT invoke;  // forced status of the call, or S_OK
        HRESULT reason;  // whose system text follows the prefix
    } cases[] = {
        {"kankan", E_FAIL, S_OK, E_FAIL},
        {"kankan", S_OK, E_OUTOFMEMORY, E_OUTOFMEMORY},
        {"kankan", S_OK, unknownToTheSystem, unknownToTheSystem},
        {"notAFunction", S_OK, S_OK, DISP_E_UNKNOWNNAME},
        {"throws", S_OK, S_OK, DISP_E_EXCEPTION},
    };
    for (const auto& c : cases) {
        script.forcedLookup = c.lookup;
        script.forcedStatus = c.invoke;
        ScriptCaller caller;
        ASSERT_TRUE(caller.setDocument(&document));
        EXPECT_FALSE(caller.call(c.name, {"x"}, nullptr)) << c.name;
        EXPECT_EQ(caller.lastError(), kPrefix + systemMessageText(c.reason)) << c.name;
    }
    // Texts come from the system where it has them (wine lacks those of the DISP_E_ codes).
    EXPECT_EQ(systemMessageText(unknownToTheSystem), kNoText);
    EXPECT_NE(systemMessageText(E_FAIL), kNoText);
    EXPECT_NE(systemMessageText(E_FAIL), systemMessageText(E_OUTOFMEMORY));
}

TEST_F(ScriptCallerTest, PageCallsForTheRouter) {
    EXPECT_TRUE(callPageFunction(&document, {"kankan", {"5", "up"}}));
    EXPECT_FALSE(callPageFunction(&document, {"missing", {}}));
    EXPECT_FALSE(callPageFunction(nullptr, {"kankan", {}}));
    EXPECT_EQ(script.calls, std::vector<std::string>{"kankan(5,up)"});
}

}  // namespace
