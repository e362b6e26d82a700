#include "app/win32/dispatch_property.h"

DispatchProperty::DispatchProperty(IDispatch* object, const wchar_t* name) {
    VariantInit(&value_);
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (object == nullptr ||
        FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) ||
        FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              &value_, nullptr, nullptr)))
        VariantClear(&value_);
}
