#include "app/win32/dispatch_external.h"

#include <dispex.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/utf8_text.h"
#include "portal_external.h"
#include "variants.h"

namespace {

// What a result slot holds, as text: as the page method cases write answers, the boolean true
// being 1.
std::string describe(const VARIANT& v) {
    switch (V_VT(&v)) {
        case VT_EMPTY:
            return "none";
        case VT_BOOL:
            return V_BOOL(&v) == ScriptResult::kTrueValue ? "true"
                                                          : "bool " + std::to_string(V_BOOL(&v));
        case VT_BSTR: {
            BSTR text = V_BSTR(&v);
            return "s:" + (text != nullptr
                               ? utf8::fromUtf16(std::u16string(text, text + SysStringLen(text)))
                               : std::string());
        }
        default:
            return "vt " + std::to_string(V_VT(&v));
    }
}

class DispatchExternalTest : public ::testing::Test, protected PortalExternal {
  protected:
    ComRef<IDispatch> page = factory.makeExternalFor(L"http://portal.example/index.html");

    static DISPID idOf(IDispatch* object, const wchar_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 0;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        return id;
    }
    // Calls `name` as the script engine does: look-up, then Invoke with the arguments last
    // first. `result` (may be null) is left for the caller to read and clear.
    static HRESULT invoke(IDispatch* object, const wchar_t* name, std::vector<VARIANT> scriptArgs,
                          VARIANT* result) {
        Arguments args(std::move(scriptArgs));
        DISPPARAMS params = args.params();
        return object->Invoke(idOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                              &params, result, nullptr, nullptr);
    }
    static std::string call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args,
                            HRESULT* status = nullptr) {
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = invoke(object, name, std::move(args), &result);
        if (status != nullptr) *status = hr;
        std::string text = describe(result);
        VariantClear(&result);
        return text;
    }
};

TEST_F(DispatchExternalTest, AnswersUnknownAndDispatchAndCountsItsReferences) {
    IDispatch* object = factory.makeExternalFor(L"http://portal.example/").detach();
    ASSERT_NE(object, nullptr);
    struct Case {
        const IID& iid;
        HRESULT status;
    } cases[] = {{IID_IUnknown, S_OK}, {IID_IDispatch, S_OK}, {IID_IClassFactory, E_NOINTERFACE}};
    for (const auto& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(c.iid, &out), c.status);
        if (c.status == S_OK) {
            EXPECT_EQ(out, static_cast<void*>(object));
            EXPECT_EQ(object->Release(), 1u);  // the reference QueryInterface added
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(object->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

    UINT count = 7;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(object->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);

    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
}

TEST_F(DispatchExternalTest, ServesEveryCaseOfThePageMethods) {
    int n = 0;
    for (const PageMethodCase& c : pageMethodCases()) {
        prepare(c);
        std::vector<VARIANT> args;
        for (const ScriptValue& arg : c.args)
            args.push_back(variantOf(arg));
        std::wstring name(c.method, c.method + strlen(c.method));
        HRESULT status = E_FAIL;
        const std::string label = std::string(c.method) + " (case " + std::to_string(n++) + ")";
        EXPECT_EQ(call(page.get(), name.c_str(), std::move(args), &status), c.answer) << label;
        EXPECT_EQ(status, c.status == ExternalObject::kStatusOk ? S_OK : S_FALSE) << label;
        EXPECT_EQ(observed(), c.calls) << label;
    }
}

TEST_F(DispatchExternalTest, UnknownNamesReachNoMethod) {
    // The slot starts at 0 (getValue's id): an unknown name must not leave it there.
    for (const wchar_t* unknown : {L"getvalue", L"GETVALUE", L"getValue ", L"", L"toString"})
        EXPECT_EQ(idOf(page.get(), unknown), DISPID_UNKNOWN);
    // Only the first name is looked up.
    LPOLESTR two[] = {const_cast<LPOLESTR>(L"nope"), const_cast<LPOLESTR>(L"getValue")};
    DISPID ids[2] = {0, 5};
    EXPECT_EQ(page->GetIDsOfNames(IID_NULL, two, 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], 5);
}

TEST_F(DispatchExternalTest, ValuesAreStoredAsTheSystemWritesThem) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    VARIANT referenced = variantOf<VT_I4>(33);
    VARIANT byRef;
    VariantInit(&byRef);
    V_VT(&byRef) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&byRef) = &referenced;
    BSTR referencedText = SysAllocString(L"ref");
    VARIANT byRefText{};
    V_VT(&byRefText) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&byRefText) = &referencedText;
    struct Case {
        VARIANT value;
        const char* stored;  // "kept": the old value stays
    } cases[] = {
        {variantOf<VT_I4>(12), "12"},
        {variantOf<VT_I4>(-5), "-5"},
        {stringVariant("abc"), "abc"},
        {stringVariant("\xB1\xB1\xBE\xA9"), "\xB1\xB1\xBE\xA9"},
        {variantOf<VT_R8>(1.5), "1.5"},
        {variantOf<VT_R8>(0.1 + 0.2), "0.3"},
        {variantOf<VT_R8>(1e21), "1E+21"},
        {variantOf<VT_R8>(-0.0), "0"},
        // The system's own spellings (as wine writes them), not the script's "NaN"/"Infinity".
        {variantOf<VT_R8>(std::copysign(nan, -1.0)), "-NAN(IND)"},  // what 0/0 gives
        {variantOf<VT_R8>(nan), "NAN"},
        {variantOf<VT_R8>(inf), "INF"},
        {variantOf<VT_BOOL>(VARIANT_TRUE), "-1"},
        {variantOf<VT_BOOL>(VARIANT_FALSE), "0"},
        {variantOf<VT_I2>(7), "7"},
        {typeOnly(VT_EMPTY), ""},
        {byRef, "33"},
        {byRefText, "ref"},
        {typeOnly(VT_NULL), "kept"},
        {typeOnly(VT_BSTR), "kept"},  // a null string
        {variantOf<VT_ERROR>(DISP_E_PARAMNOTFOUND), "kept"},
        {typeOnly(VT_UNKNOWN), "kept"},
    };
    for (auto& c : cases) {
        settings.writeValue("k", "kept");
        HRESULT status = E_FAIL;
        EXPECT_EQ(call(page.get(), L"writeValue", {stringVariant("k"), c.value}, &status), "true");
        EXPECT_EQ(status, S_OK);
        EXPECT_EQ(settings.getValue("k"), c.stored) << c.stored;
    }
    SysFreeString(referencedText);
}

// A function value called by the engine gets its `this` named DISPID_THIS, which is no argument;
// a property put's value, named DISPID_PROPERTYPUT, is.
TEST_F(DispatchExternalTest, OfTheNamedArgumentsOnlyAPutValueCounts) {
    const struct {
        const char* name;
        DISPID named;
        WORD flags;
        std::vector<std::string> calls;
    } cases[] = {
        {"this", DISPID_THIS, DISPATCH_METHOD, {"showRoadbook(r)"}},
        {"a put value", DISPID_PROPERTYPUT, DISPATCH_PROPERTYPUT, {"showRoadbook(named)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ops.calls.clear();
        ops.connected = 1;
        Arguments args({stringVariant("r")}, {{c.named, stringVariant("named")}});
        DISPPARAMS params = args.params();
        EXPECT_EQ(page->Invoke(idOf(page.get(), L"showRoadbook"), IID_NULL, LOCALE_USER_DEFAULT,
                               c.flags, &params, nullptr, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(ops.calls, c.calls);
    }
}

TEST_F(DispatchExternalTest, UnknownIdsAndMissingSlotsAreHarmless) {
    const DISPID pastTheLast = DISPID(pageMethods().size());
    for (DISPID id : {pastTheLast, DISPID(-1), DISPID(0x7FFFFFFF)}) {
        VARIANT result = variantOf<VT_I4>(777);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXPECT_EQ(page->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(describe(result), "vt 3") << id;  // untouched
    }
    // No result slot, no parameters: the method still runs.
    EXPECT_EQ(page->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              S_FALSE);
    EXPECT_EQ(invoke(page.get(), L"showRoadbook", {stringVariant("r")}, nullptr), S_OK);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"showRoadbook(r)"}));
}

TEST_F(DispatchExternalTest, DocumentsThatAreNotTrustedRunNothing) {
    settings.writeValue("k", "kept");
    for (const wchar_t* address :
         {L"http://elsewhere.example/", L"about:blank", static_cast<const wchar_t*>(nullptr)}) {
        IDispatch* stranger = factory.makeExternalFor(address).detach();
        ASSERT_NE(stranger, nullptr);
        EXPECT_EQ(idOf(stranger, L"writeValue"), 1);  // the names are there all the same
        HRESULT status = E_FAIL;
        EXPECT_EQ(call(stranger, L"writeValue", {stringVariant("k"), stringVariant("v")}, &status),
                  "none");
        EXPECT_EQ(status, S_OK);
        EXPECT_EQ(call(stranger, L"getValue", {stringVariant("k")}, &status), "none");
        EXPECT_EQ(call(stranger, L"connToPDA", {stringVariant("x")}, &status), "none");
        EXPECT_EQ(status, S_OK);
        // The program's own methods would open a dialog on the PC first.
        EXPECT_EQ(call(stranger, L"installGpxFromPC", {stringVariant("")}, &status), "none");
        EXPECT_EQ(status, S_OK);
        EXPECT_EQ(stranger->Release(), 0u);
    }
    EXPECT_EQ(settings.getValue("k"), "kept");
    EXPECT_EQ(ops.gateChecks, 0);
    EXPECT_TRUE(ops.calls.empty());
}

}  // namespace
