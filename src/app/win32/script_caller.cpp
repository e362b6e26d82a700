#include "app/win32/script_caller.h"

#include <mshtml.h>

#include <new>

#include "app/win32/com_ref.h"
#include "platform/codepage.h"

namespace {

constexpr const char* kErrorPrefix = "JSCall Error:\n";
constexpr const char* kNoSystemText = "FormatMessage Netive Error";
// The system default language.
constexpr DWORD kSystemDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);

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

std::string systemMessageText(HRESULT status) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(status), kSystemDefaultLanguage, reinterpret_cast<char*>(&text),
        0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : kNoSystemText;
    if (text != nullptr) LocalFree(text);
    return message;
}

ScriptCaller::~ScriptCaller() {
    if (document_ != nullptr) document_->Release();
}

bool ScriptCaller::fail(const std::string& reason) {
    lastError_ = kErrorPrefix + reason;
    return false;
}

bool ScriptCaller::setDocument(IUnknown* document) {
    if (document == nullptr) return fail("NULL pointer");
    if (document_ != nullptr) {
        document_->Release();
        document_ = nullptr;
    }
    // Only get_Script is used, which IHTMLDocument2 inherits from IHTMLDocument: the narrower
    // interface is held.
    void* html = nullptr;
    if (FAILED(document->QueryInterface(IID_IHTMLDocument2, &html)) || html == nullptr)
        return fail("Failed to get HTML document COM object");
    document_ = static_cast<IHTMLDocument*>(html);
    return true;
}

bool ScriptCaller::call(const std::string& name, const std::vector<std::string>& args,
                        VARIANT* result) {
    if (document_ == nullptr) return fail("NULL pointer");
    ComRef<IDispatch> script;
    if (FAILED(document_->get_Script(script.put())) || !script) return fail("Cannot GetScript");

    BSTR wideName = bstrOf(name);
    if (wideName == nullptr) return fail(systemMessageText(E_OUTOFMEMORY));
    DISPID id = DISPID_UNKNOWN;
    HRESULT looked = script->GetIDsOfNames(IID_NULL, &wideName, 1, LOCALE_SYSTEM_DEFAULT, &id);
    SysFreeString(wideName);
    if (FAILED(looked)) return fail(systemMessageText(looked));

    ArgumentArray arguments;
    if (!arguments.fill(args)) return fail(systemMessageText(E_OUTOFMEMORY));
    DISPPARAMS params = arguments.params();
    VARIANT answer;
    VariantInit(&answer);
    ExceptionRecord exception;
    HRESULT called =
        script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &answer, &exception, nullptr);
    if (FAILED(called)) {
        VariantClear(&answer);
        return fail(systemMessageText(called));
    }
    if (result != nullptr) {
        HRESULT copied = VariantCopy(result, &answer);
        if (FAILED(copied)) {
            VariantClear(result);
            V_VT(result) = VT_ERROR;
            V_ERROR(result) = copied;
        }
    }
    VariantClear(&answer);
    return true;
}

bool callPageFunction(IUnknown* document, const PageCall& call) {
    ScriptCaller caller;
    return caller.setDocument(document) && caller.call(call.function, call.args);
}
