#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include "app/win32/com_ref.h"

// A named property of an automation object, read as a script reads it (the browser's frames,
// documents, windows and events are read this way). VT_EMPTY when the object is null or has no
// such property.
class DispatchProperty {
  public:
    DispatchProperty(IDispatch* object, const wchar_t* name);
    ~DispatchProperty() { VariantClear(&value_); }
    DispatchProperty(const DispatchProperty&) = delete;
    DispatchProperty& operator=(const DispatchProperty&) = delete;

    const VARIANT& value() const { return value_; }

    // The object it holds, as `Interface`; nothing when it holds no object or one without it.
    template <typename Interface>
    ComRef<Interface> as() const {
        bool isObject = V_VT(&value_) == VT_DISPATCH || V_VT(&value_) == VT_UNKNOWN;
        return queryInterface<Interface>(isObject ? V_UNKNOWN(&value_) : nullptr);
    }

  private:
    VARIANT value_;
};
