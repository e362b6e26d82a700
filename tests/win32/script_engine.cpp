#include "script_engine.h"

#include "app/win32/com_object.h"
#include "platform/codepage.h"

namespace {

// jscript.dll's class; mingw-w64's uuid library has none of the engines' identities.
constexpr CLSID kJScript = {
    0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};

std::string ansiOf(const wchar_t* text, size_t length) {
    return platform::utf16ToAnsi(std::u16string(text, text + length));
}

std::string ansiOf(BSTR text) {
    return text != nullptr ? ansiOf(text, SysStringLen(text)) : std::string();
}

}  // namespace

// The host's side: hands out the globals and keeps the last script error.
class ScriptEngine::Site final : public ComObject<IActiveScriptSite> {
  public:
    explicit Site(Globals globals) : globals_(std::move(globals)) {}

    std::string lastError;

    HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item,
                                          ITypeInfo** type) override {
        if (type != nullptr) *type = nullptr;
        if ((mask & SCRIPTINFO_IUNKNOWN) == 0 || item == nullptr) return E_INVALIDARG;
        *item = nullptr;
        for (auto& [globalName, object] : globals_) {
            if (globalName == name)
                return object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(item));
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override {
        EXCEPINFO info{};
        lastError = "(no description)";
        if (error != nullptr && SUCCEEDED(error->GetExceptionInfo(&info))) {
            if (info.bstrDescription != nullptr) lastError = ansiOf(info.bstrDescription);
            SysFreeString(info.bstrSource);
            SysFreeString(info.bstrDescription);
            SysFreeString(info.bstrHelpFile);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

  private:
    ~Site() override = default;

    Globals globals_;
};

ScriptEngine::ScriptEngine(int version, Globals globals) {
    std::vector<std::wstring> names;
    for (const auto& entry : globals)
        names.push_back(entry.first);
    site_ = ComRef<Site>(new Site(std::move(globals)));
    if (FAILED(CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                reinterpret_cast<void**>(script_.put())))) {
        failure_ = "the system has no JScript engine";
        return;
    }
    VARIANT mode;
    VariantInit(&mode);
    V_VT(&mode) = VT_I4;
    V_I4(&mode) = version;
    auto property = queryInterface<IActiveScriptProperty>(script_.get());
    if (!property || FAILED(property->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &mode))) {
        failure_ = "the engine refuses language version " + std::to_string(version);
        return;
    }
    parser_ = queryInterface<IActiveScriptParse>(script_.get());
    if (!parser_ || FAILED(script_->SetScriptSite(site_.get())) || FAILED(parser_->InitNew())) {
        failure_ = "the engine cannot be set up";
        return;
    }
    for (const std::wstring& name : names)
        if (FAILED(script_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE)))
            failure_ = "the engine refuses a global";
    if (FAILED(script_->SetScriptState(SCRIPTSTATE_STARTED))) failure_ = "the engine cannot start";
}

ScriptEngine::~ScriptEngine() {
    if (script_) script_->Close();
}

std::string ScriptEngine::parse(const std::u16string& code, DWORD flags, VARIANT* result) {
    if (!failure_.empty()) return failure_;
    site_->lastError.clear();
    std::wstring text(code.begin(), code.end());
    EXCEPINFO exception{};
    HRESULT status = parser_->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, flags,
                                              result, &exception);
    if (SUCCEEDED(status)) return {};
    return site_->lastError.empty() ? "status " + std::to_string(status) : site_->lastError;
}

std::string ScriptEngine::run(const std::u16string& code) {
    return parse(code, 0, nullptr);
}

std::string ScriptEngine::evaluate(const std::u16string& expression) {
    VARIANT result;
    VariantInit(&result);
    std::string error = parse(u"String(" + expression + u")", SCRIPTTEXT_ISEXPRESSION, &result);
    std::string text = V_VT(&result) == VT_BSTR ? ansiOf(V_BSTR(&result)) : "";
    VariantClear(&result);
    return error.empty() ? text : "error: " + error;
}
