#include "app/win32/script_caller.h"

#include <mshtml.h>

#include "platform/codepage.h"

namespace {

// ANSI text as a new BSTR (null when out of memory).
BSTR bstrOf(const std::string& ansi) {
    std::u16string text = platform::ansiToUtf16(ansi);
    std::wstring wide(text.begin(), text.end());
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// The arguments of one call, as string variants, last first; cleared when it goes.
class ArgumentArray {
  public:
    ~ArgumentArray() {
        for (VARIANT& v : variants_)
            VariantClear(&v);
    }
    // False when out of memory.
    bool fill(const std::vector<std::string>& args) {
        variants_.resize(args.size());
        for (VARIANT& v : variants_)
            VariantInit(&v);
        for (size_t i = 0; i < args.size(); ++i) {
            VARIANT& v = variants_[args.size() - 1 - i];
            V_BSTR(&v) = bstrOf(args[i]);
            if (V_BSTR(&v) == nullptr) return false;
            V_VT(&v) = VT_BSTR;
        }
        return true;
    }
    DISPPARAMS params() {
        return {variants_.empty() ? nullptr : variants_.data(), nullptr,
                static_cast<UINT>(variants_.size()), 0};
    }

  private:
    std::vector<VARIANT> variants_;
};

// An exception record the callee may fill; its texts are freed with it.
struct ExceptionRecord : EXCEPINFO {
    ExceptionRecord() : EXCEPINFO{} {}
    ~ExceptionRecord() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
};

}  // namespace

ScriptCaller::~ScriptCaller() = default;

bool ScriptCaller::setDocument(IUnknown* document) {
    if (document == nullptr) return false;
    document_ = queryInterface<IHTMLDocument2>(document);
    return static_cast<bool>(document_);
}

bool ScriptCaller::call(const std::string& name, const std::vector<std::string>& args) {
    ComRef<IDispatch> script;
    if (!document_ || FAILED(document_->get_Script(script.put())) || !script) return false;

    BSTR wideName = bstrOf(name);
    if (wideName == nullptr) return false;
    DISPID id = DISPID_UNKNOWN;
    HRESULT looked = script->GetIDsOfNames(IID_NULL, &wideName, 1, LOCALE_SYSTEM_DEFAULT, &id);
    SysFreeString(wideName);
    ArgumentArray arguments;
    if (FAILED(looked) || !arguments.fill(args)) return false;
    DISPPARAMS params = arguments.params();
    VARIANT answer;
    VariantInit(&answer);
    ExceptionRecord exception;
    HRESULT called =
        script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &answer, &exception, nullptr);
    VariantClear(&answer);
    return SUCCEEDED(called);
}

bool callPageFunction(IUnknown* document, const PageCall& call) {
    ScriptCaller caller;
    return caller.setDocument(document) && caller.call(call.function, call.args);
}
