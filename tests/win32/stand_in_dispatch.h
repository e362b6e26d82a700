#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

#include "app/win32/com_object.h"

// One of the browser's own objects as a script or the host reads it: named properties and
// nothing else. A name it does not hold is unknown (DISP_E_UNKNOWNNAME), as IE's own
// window.external answers the program's method names. Made with one reference; owns its values
// (a VT_DISPATCH value hands its reference over).
class StandInDispatch final : public ComObject<IDispatch> {
  public:
    using Property = std::pair<std::wstring, VARIANT>;

    explicit StandInDispatch(std::vector<Property> properties)
        : properties_(std::move(properties)) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
        for (size_t i = 0; i < properties_.size(); ++i) {
            if (properties_[i].first == names[0]) {
                ids[0] = static_cast<DISPID>(i + 1);
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id < 1 || static_cast<size_t>(id) > properties_.size() ||
            (flags & DISPATCH_PROPERTYGET) == 0)
            return DISP_E_MEMBERNOTFOUND;
        if (result == nullptr) return S_OK;
        VariantInit(result);
        return VariantCopy(result, &properties_[id - 1].second);
    }

  private:
    ~StandInDispatch() override {
        for (Property& property : properties_)
            VariantClear(&property.second);
    }

    std::vector<Property> properties_;
};

// A variant that holds `object`, taking over the caller's reference.
inline VARIANT dispatchVariant(IDispatch* object) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = object;
    return v;
}
