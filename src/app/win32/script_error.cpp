#include "app/win32/script_error.h"

#include "app/win32/dispatch_property.h"
#include "platform/codepage.h"

namespace {

// A property as the system writes it, on one line; empty when it has no text.
std::string lineText(const DispatchProperty& property) {
    VARIANT converted;
    VariantInit(&converted);
    std::string ansi;
    if (V_VT(&property.value()) != VT_EMPTY &&
        SUCCEEDED(
            VariantChangeType(&converted, const_cast<VARIANT*>(&property.value()), 0, VT_BSTR)) &&
        V_BSTR(&converted) != nullptr) {
        BSTR s = V_BSTR(&converted);
        ansi = platform::utf16ToAnsi(std::u16string(s, s + SysStringLen(s)));
    }
    VariantClear(&converted);
    for (char& c : ansi)
        if (c == '\r' || c == '\n') c = ' ';
    return ansi;
}

}  // namespace

std::string scriptErrorLine(IUnknown* document) {
    ComRef<IDispatch> page = queryInterface<IDispatch>(document);
    ComRef<IDispatch> window = DispatchProperty(page.get(), L"parentWindow").as<IDispatch>();
    ComRef<IDispatch> event = DispatchProperty(window.get(), L"event").as<IDispatch>();

    std::string message = lineText(DispatchProperty(event.get(), L"errorMessage"));
    std::string address = lineText(DispatchProperty(event.get(), L"errorUrl"));
    std::string line = lineText(DispatchProperty(event.get(), L"errorLine"));
    std::string where = address;
    if (!line.empty()) where += (where.empty() ? "line " : ", line ") + line;
    return "script error: " + (message.empty() ? std::string("(no message)") : message) +
           (where.empty() ? "" : " (" + where + ")");
}
