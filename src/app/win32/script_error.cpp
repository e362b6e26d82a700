#include "app/win32/script_error.h"

#include "app/win32/com_ref.h"
#include "platform/codepage.h"

namespace {

// A property of `object` as the script reads it; VT_EMPTY when it has none.
class Property {
  public:
    Property(IDispatch* object, const wchar_t* name) {
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
    ~Property() { VariantClear(&value_); }
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;

    // The object it holds, with a reference of its own.
    ComRef<IDispatch> object() const {
        ComRef<IDispatch> held;
        if (V_VT(&value_) == VT_DISPATCH && V_DISPATCH(&value_) != nullptr)
            V_DISPATCH(&value_)->QueryInterface(IID_IDispatch,
                                                reinterpret_cast<void**>(held.put()));
        return held;
    }

    // As the system writes it, on one line; empty when it has no text.
    std::string text() const {
        VARIANT converted;
        VariantInit(&converted);
        std::string ansi;
        if (V_VT(&value_) != VT_EMPTY &&
            SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&value_), 0, VT_BSTR)) &&
            V_BSTR(&converted) != nullptr) {
            BSTR s = V_BSTR(&converted);
            ansi = platform::utf16ToAnsi(std::u16string(s, s + SysStringLen(s)));
        }
        VariantClear(&converted);
        for (char& c : ansi)
            if (c == '\r' || c == '\n') c = ' ';
        return ansi;
    }

  private:
    VARIANT value_;
};

}  // namespace

std::string scriptErrorLine(IUnknown* document) {
    ComRef<IDispatch> page;
    if (document != nullptr)
        document->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(page.put()));
    ComRef<IDispatch> window = Property(page.get(), L"parentWindow").object();
    ComRef<IDispatch> event = Property(window.get(), L"event").object();

    std::string message = Property(event.get(), L"errorMessage").text();
    std::string address = Property(event.get(), L"errorUrl").text();
    std::string line = Property(event.get(), L"errorLine").text();
    std::string where = address;
    if (!line.empty()) where += (where.empty() ? "line " : ", line ") + line;
    return "script error: " + (message.empty() ? std::string("(no message)") : message) +
           (where.empty() ? "" : " (" + where + ")");
}
