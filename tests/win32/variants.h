#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

#include "bridge/script_value.h"
#include "platform/codepage.h"

// Variants for tests. Each helper hands out a variant that owns its string; Arguments clears
// them all.
inline VARIANT stringVariant(const std::string& ansi) {
    std::u16string text = platform::ansiToUtf16(ansi);
    std::wstring wide(text.begin(), text.end());
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return v;
}

template <VARTYPE type, typename T>
VARIANT variantOf(T value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    if constexpr (type == VT_I4) V_I4(&v) = value;
    if constexpr (type == VT_R8) V_R8(&v) = value;
    if constexpr (type == VT_BOOL) V_BOOL(&v) = value;
    if constexpr (type == VT_ERROR) V_ERROR(&v) = value;
    if constexpr (type == VT_I2) V_I2(&v) = value;
    return v;
}

// A variant of `type` with all its value bits zero (VT_BSTR: a null string).
inline VARIANT typeOnly(VARTYPE type) {
    VARIANT v{};
    V_VT(&v) = type;
    return v;
}

// A script value as the script engine hands it over: a string, VT_I4, VT_R8, VT_BOOL, VT_NULL,
// VT_EMPTY, or an object (a null VT_UNKNOWN).
inline VARIANT variantOf(const ScriptValue& value) {
    switch (value.type) {
        case ScriptValue::Type::String: {
            std::wstring wide(value.text.begin(), value.text.end());
            VARIANT v = typeOnly(VT_BSTR);
            V_BSTR(&v) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            return v;
        }
        case ScriptValue::Type::Int32:
            return variantOf<VT_I4>(value.integer);
        case ScriptValue::Type::Double:
            return variantOf<VT_R8>(value.number);
        case ScriptValue::Type::Bool:
            return variantOf<VT_BOOL>(value.boolean ? VARIANT_TRUE : VARIANT_FALSE);
        case ScriptValue::Type::Null:
            return typeOnly(VT_NULL);
        case ScriptValue::Type::Empty:
            return typeOnly(VT_EMPTY);
        case ScriptValue::Type::Other:
            break;
    }
    return typeOnly(VT_UNKNOWN);
}

// A variant's string as ANSI text, or "<vt N>" for another type.
inline std::string ansiOf(const VARIANT& v) {
    if (V_VT(&v) != VT_BSTR) return "<vt " + std::to_string(V_VT(&v)) + ">";
    BSTR s = V_BSTR(&v);
    if (s == nullptr) return {};
    std::u16string text(s, s + SysStringLen(s));
    return platform::utf16ToAnsi(text);
}

// Arguments given in the script's order, held last first as DISPPARAMS carries them, after the
// named ones.
class Arguments {
  public:
    explicit Arguments(std::vector<VARIANT> scriptOrder,
                       std::vector<std::pair<DISPID, VARIANT>> named = {}) {
        for (auto& [id, value] : named) {
            names_.push_back(id);
            reversed_.push_back(value);
        }
        reversed_.insert(reversed_.end(), scriptOrder.rbegin(), scriptOrder.rend());
    }
    ~Arguments() {
        for (VARIANT& v : reversed_)
            VariantClear(&v);
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    DISPPARAMS params() {
        return {reversed_.empty() ? nullptr : reversed_.data(),
                names_.empty() ? nullptr : names_.data(), static_cast<UINT>(reversed_.size()),
                static_cast<UINT>(names_.size())};
    }

  private:
    std::vector<VARIANT> reversed_;
    std::vector<DISPID> names_;
};
