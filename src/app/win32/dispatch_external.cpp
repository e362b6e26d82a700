#include "app/win32/dispatch_external.h"

#include <new>
#include <string>

#include "app/win32/com_object.h"

namespace {

std::u16string wideText(const wchar_t* text, size_t length) {
    return std::u16string(text, text + length);
}

// A copy of `value` that owns its contents; empty when the copy fails.
class OwnedVariant {
  public:
    OwnedVariant() { VariantInit(&v_); }
    ~OwnedVariant() { VariantClear(&v_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    VARIANT* get() { return &v_; }

  private:
    VARIANT v_;
};

ScriptValue stringValueOf(BSTR text) {
    if (text == nullptr) return ScriptValue::null();
    return ScriptValue::string(wideText(text, SysStringLen(text)));
}

// One script value as the external object takes it. Strings and 32-bit integers keep their
// type, and booleans too (they read as "-1" and "0"); empty is undefined, null and a null string
// are null. Numbers of other types, dates and currency become the system's own string for them,
// so that 0.1 or NaN read as Windows writes them. A missing argument (VT_ERROR), objects and
// arrays have no value the methods can use.
ScriptValue scriptValueOf(const VARIANT& argument) {
    // By-reference arguments (a variable passed by VBScript) are read through their reference.
    // Strings are read in place: a copy would turn a null string into an empty one.
    const VARIANT* arg = &argument;
    if (V_VT(arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(arg) != nullptr)
        arg = V_VARIANTREF(arg);
    if (V_VT(arg) == VT_BSTR) return stringValueOf(V_BSTR(arg));
    if (V_VT(arg) == (VT_BYREF | VT_BSTR))
        return V_BSTRREF(arg) != nullptr ? stringValueOf(*V_BSTRREF(arg)) : ScriptValue::other();
    OwnedVariant value;
    if (FAILED(VariantCopyInd(value.get(), const_cast<VARIANT*>(arg)))) return ScriptValue::other();
    VARIANT& v = *value.get();
    if ((V_VT(&v) & (VT_ARRAY | VT_BYREF)) != 0) return ScriptValue::other();
    switch (V_VT(&v)) {
        case VT_EMPTY:
            return ScriptValue::empty();
        case VT_NULL:
            return ScriptValue::null();
        case VT_I4:
            return ScriptValue::int32(V_I4(&v));
        case VT_BOOL:
            return ScriptValue::boolValue(V_BOOL(&v) != VARIANT_FALSE);
        case VT_ERROR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_RECORD:
        case VT_VARIANT:
            return ScriptValue::other();
        default:
            break;
    }
    OwnedVariant text;
    if (FAILED(VariantChangeType(text.get(), &v, 0, VT_BSTR)) || V_VT(text.get()) != VT_BSTR)
        return ScriptValue::other();
    BSTR s = V_BSTR(text.get());
    return ScriptValue::string(s != nullptr ? wideText(s, SysStringLen(s)) : std::u16string());
}

// DISPPARAMS holds the arguments last first: this is the one place that turns them round into
// the script's own order. Named arguments come first in the array; of them only a property
// put's value counts (the put is served like a call, with its value as the argument). The
// engine names DISPID_THIS when it calls a function value: taken for an argument, the caller's
// `this` would stand in the first parameter's place.
std::vector<ScriptValue> scriptArgsOf(const DISPPARAMS* params) {
    std::vector<ScriptValue> args;
    if (params == nullptr || params->rgvarg == nullptr) return args;
    args.reserve(params->cArgs);
    for (UINT i = params->cArgs; i-- > 0;) {
        bool named = i < params->cNamedArgs;
        if (named && (params->rgdispidNamedArgs == nullptr ||
                      params->rgdispidNamedArgs[i] != DISPID_PROPERTYPUT))
            continue;
        args.push_back(scriptValueOf(params->rgvarg[i]));
    }
    return args;
}

HRESULT writeResult(const ScriptResult& answer, VARIANT* slot) {
    switch (answer.type) {
        case ScriptResult::Type::String: {
            std::wstring wide(answer.text.begin(), answer.text.end());
            BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            if (text == nullptr) return E_OUTOFMEMORY;
            V_VT(slot) = VT_BSTR;
            V_BSTR(slot) = text;
            return S_OK;
        }
        case ScriptResult::Type::BoolTrue:
            // The page has always been handed 1 rather than VARIANT_TRUE; both read as true.
            V_VT(slot) = VT_BOOL;
            V_BOOL(slot) = ScriptResult::kTrueValue;
            return S_OK;
        case ScriptResult::Type::None:
            break;
    }
    return S_OK;
}

class DispatchExternal final : public ComObject<IDispatch> {
  public:
    DispatchExternal(ExternalObject& external, bool trusted)
        : external_(external), trusted_(trusted) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }

    // Only the first name is looked up, byte-wise and case-sensitively after conversion to ANSI.
    // An unknown name succeeds too, as the page has always seen it (a call of it does nothing and
    // answers nothing), but gets DISPID_UNKNOWN, so that whatever the caller's slot held before
    // can never reach one of the methods.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
        ids[0] = DISPID_UNKNOWN;
        if (names[0] == nullptr) return S_OK;
        try {
            std::u16string name = wideText(names[0], wcslen(names[0]));
            int32_t id = DISPID_UNKNOWN;
            external_.getIDsOfNames(&name, 1, &id);
            ids[0] = id;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // The interface identity, locale and flags do not matter; the exception and argument-error
    // slots are never written. S_FALSE where the method gives the page no value (no navigator
    // for a device method, a device method without its text).
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (!trusted_) return S_OK;
        try {
            std::vector<ScriptValue> args = scriptArgsOf(params);
            ScriptResult answer;
            int32_t status = external_.invoke(id, args, result != nullptr ? &answer : nullptr);
            if (result != nullptr) {
                HRESULT written = writeResult(answer, result);
                if (FAILED(written)) return written;
            }
            return status == ExternalObject::kStatusFalse ? S_FALSE : S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

  private:
    ~DispatchExternal() override = default;

    ExternalObject& external_;
    const bool trusted_;
};

}  // namespace

bool ExternalFactory::trusts(const wchar_t* address) const {
    return address != nullptr && trust_.trusts(wideText(address, wcslen(address)));
}

ComRef<IDispatch> ExternalFactory::makeExternalFor(const wchar_t* address) const {
    return ComRef<IDispatch>(new (std::nothrow) DispatchExternal(external_, trusts(address)));
}
