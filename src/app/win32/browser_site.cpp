#include "app/win32/browser_site.h"

#include <exdispid.h>

#include <string>

#include "app/win32/script_error.h"
#include "platform/log.h"

namespace {

// Host flags of the documents: dialog-like without text selection, no 3-D border, no scroll bars,
// sized for the screen's DPI, controls in the system's theme.
constexpr DWORD kHostFlags = DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_NO3DBORDER |
                             DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_DPI_AWARE |
                             DOCHOSTUIFLAG_THEME;

// The text of an event argument: a string, or a reference to a variant holding one.
std::u16string textOf(const VARIANT& value) {
    const VARIANT* v = &value;
    if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v) != nullptr) v = V_VARIANTREF(v);
    BSTR text = nullptr;
    if (V_VT(v) == VT_BSTR)
        text = V_BSTR(v);
    else if (V_VT(v) == (VT_BYREF | VT_BSTR) && V_BSTRREF(v) != nullptr)
        text = *V_BSTRREF(v);
    if (text == nullptr) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

IDispatch* dispatchOf(const VARIANT& value) {
    if (V_VT(&value) == VT_DISPATCH) return V_DISPATCH(&value);
    if (V_VT(&value) == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(&value) != nullptr)
        return *V_DISPATCHREF(&value);
    return nullptr;
}

void setCancel(VARIANT& cancel, bool value) {
    if (V_VT(&cancel) == (VT_BYREF | VT_BOOL) && V_BOOLREF(&cancel) != nullptr)
        *V_BOOLREF(&cancel) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

// The custom-document interface; mingw-w64's uuid library lacks its identity.
constexpr GUID kCustomDocIid = {
    0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// The document host's command group (CGID_DocHostCommandHandler), which mingw-w64's uuid
// library lacks too; the engine asks in it, or in the standard group, to show a script error.
constexpr GUID kDocHostCommands = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

bool isScriptErrorGroup(const GUID* group) {
    return group == nullptr || IsEqualGUID(*group, kDocHostCommands);
}

template <typename T>
void release(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

}  // namespace

// ---- PageUiHandler

PageUiHandler::PageUiHandler(ExternalMaker factory, std::u16string address)
    : factory_(std::move(factory)), address_(std::move(address)) {}

STDMETHODIMP PageUiHandler::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDocHostUIHandler))
        *out = static_cast<IDocHostUIHandler*>(this);
    else if (IsEqualIID(iid, IID_IDispatch))
        *out = static_cast<IDispatch*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) PageUiHandler::AddRef() {
    return InterlockedIncrement(&references_);
}

STDMETHODIMP_(ULONG) PageUiHandler::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP PageUiHandler::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
    // Taken: the browser shows no menu of its own; the page has had its right click.
    return S_OK;
}

STDMETHODIMP PageUiHandler::GetHostInfo(DOCHOSTUIINFO* info) {
    if (info == nullptr) return E_POINTER;
    info->dwFlags = kHostFlags;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP PageUiHandler::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::HideUI() {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::UpdateUI() {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::EnableModeless(WINBOOL) {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::OnDocWindowActivate(WINBOOL) {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::OnFrameWindowActivate(WINBOOL) {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::TranslateAccelerator(LPMSG, const GUID*, DWORD) {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key != nullptr) *key = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::GetDropTarget(IDropTarget*, IDropTarget** target) {
    if (target != nullptr) *target = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP PageUiHandler::GetExternal(IDispatch** out) {
    if (out == nullptr) return E_POINTER;
    // A new object for every request, bound to this document.
    *out = factory_ ? factory_(address_) : nullptr;
    return *out != nullptr ? S_OK : S_FALSE;
}

STDMETHODIMP PageUiHandler::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::FilterDataObject(IDataObject*, IDataObject** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP PageUiHandler::GetTypeInfoCount(UINT* count) {
    if (count != nullptr) *count = 0;
    return S_OK;
}
STDMETHODIMP PageUiHandler::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
STDMETHODIMP PageUiHandler::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}
STDMETHODIMP PageUiHandler::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

// ---- BrowserSite

BrowserSite::BrowserSite(BrowserEvents& events, ExternalMaker factory)
    : events_(&events),
      factory_(std::move(factory)),
      fallbackHandler_(new PageUiHandler(nullptr, {})) {}

BrowserSite::~BrowserSite() {
    close();
    release(fallbackHandler_);
}

bool BrowserSite::create(HWND parent, const RECT& area) {
    parent_ = parent;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object_))))
        return false;
    object_->SetClientSite(static_cast<IOleClientSite*>(this));
    OleSetContainedObject(object_, TRUE);
    RECT rect = area;
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                               static_cast<IOleClientSite*>(this), 0, parent, &rect)) ||
        FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)))) {
        close();
        return false;
    }
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->GetWindow(&controlWindow_);
        inPlace->Release();
    }
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer,
                                           reinterpret_cast<void**>(&points)))) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &eventPoint_)) &&
            FAILED(eventPoint_->Advise(static_cast<IDispatch*>(this), &eventCookie_)))
            release(eventPoint_);
        points->Release();
    }
    return true;
}

void BrowserSite::close() {
    events_ = nullptr;
    if (eventPoint_ != nullptr) {
        eventPoint_->Unadvise(eventCookie_);
        release(eventPoint_);
    }
    release(active_);
    release(browser_);
    if (object_ != nullptr) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                              reinterpret_cast<void**>(&inPlace)))) {
            inPlace->InPlaceDeactivate();
            inPlace->Release();
        }
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        release(object_);
    }
    controlWindow_ = nullptr;
}

bool BrowserSite::navigate(std::u16string_view address) {
    if (browser_ == nullptr) return false;
    BSTR url = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(address.data()),
                                 static_cast<UINT>(address.size()));
    VARIANT empty;
    VariantInit(&empty);
    HRESULT result = browser_->Navigate(url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
    return SUCCEEDED(result);
}

IDispatch* BrowserSite::document() const {
    IDispatch* document = nullptr;
    if (browser_ == nullptr || FAILED(browser_->get_Document(&document))) return nullptr;
    return document;
}

bool BrowserSite::hasDocument() const {
    IDispatch* page = document();
    if (page == nullptr) return false;
    page->Release();
    return true;
}

void BrowserSite::resize(const RECT& area) {
    if (object_ == nullptr) return;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->SetObjectRects(&area, &area);
        inPlace->Release();
    }
}

bool BrowserSite::translateAccelerator(MSG& message) {
    return active_ != nullptr && active_->TranslateAccelerator(&message) == S_OK;
}

bool BrowserSite::isTopFrame(IDispatch* frame) const {
    if (frame == nullptr || browser_ == nullptr) return false;
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    bool same = SUCCEEDED(frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a))) &&
                SUCCEEDED(browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b))) &&
                a == b;
    release(a);
    release(b);
    return same;
}

void BrowserSite::installUiHandler(IDispatch* frame, std::u16string_view address) {
    IWebBrowser2* browser = nullptr;
    if (frame == nullptr ||
        FAILED(frame->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser))))
        return;
    IDispatch* document = nullptr;
    if (SUCCEEDED(browser->get_Document(&document)) && document != nullptr) {
        ICustomDoc* custom = nullptr;
        if (SUCCEEDED(document->QueryInterface(kCustomDocIid, reinterpret_cast<void**>(&custom)))) {
            auto* handler = new PageUiHandler(factory_, std::u16string(address));
            custom->SetUIHandler(handler);
            handler->Release();
            custom->Release();
        }
        document->Release();
    }
    browser->Release();
}

// ---- IUnknown

STDMETHODIMP BrowserSite::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        *out = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow))
        *out = static_cast<IOleInPlaceFrame*>(this);
    else if (IsEqualIID(iid, IID_IOleCommandTarget))
        *out = static_cast<IOleCommandTarget*>(this);
    else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_DWebBrowserEvents2))
        *out = static_cast<IDispatch*>(this);
    else if (IsEqualIID(iid, IID_IDocHostUIHandler) && fallbackHandler_ != nullptr)
        return fallbackHandler_->QueryInterface(iid, out);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BrowserSite::AddRef() {
    return InterlockedIncrement(&references_);
}

STDMETHODIMP_(ULONG) BrowserSite::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
}

// ---- IOleClientSite

STDMETHODIMP BrowserSite::SaveObject() {
    return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::GetContainer(IOleContainer** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP BrowserSite::ShowObject() {
    return S_OK;
}
STDMETHODIMP BrowserSite::OnShowWindow(WINBOOL) {
    return S_OK;
}
STDMETHODIMP BrowserSite::RequestNewObjectLayout() {
    return E_NOTIMPL;
}

// ---- IOleWindow, IOleInPlaceSite

STDMETHODIMP BrowserSite::GetWindow(HWND* out) {
    if (out == nullptr) return E_POINTER;
    *out = parent_;
    return S_OK;
}
STDMETHODIMP BrowserSite::ContextSensitiveHelp(WINBOOL) {
    return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::CanInPlaceActivate() {
    return S_OK;
}
STDMETHODIMP BrowserSite::OnInPlaceActivate() {
    return S_OK;
}
STDMETHODIMP BrowserSite::OnUIActivate() {
    return S_OK;
}

STDMETHODIMP BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO info) {
    if (frame != nullptr) {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (document != nullptr) *document = nullptr;
    RECT client{};
    GetClientRect(parent_, &client);
    if (position != nullptr) *position = client;
    if (clip != nullptr) *clip = client;
    if (info != nullptr) {
        info->fMDIApp = FALSE;
        info->hwndFrame = parent_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP BrowserSite::Scroll(SIZE) {
    return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::OnUIDeactivate(WINBOOL) {
    return S_OK;
}
STDMETHODIMP BrowserSite::OnInPlaceDeactivate() {
    return S_OK;
}
STDMETHODIMP BrowserSite::DiscardUndoState() {
    return S_OK;
}
STDMETHODIMP BrowserSite::DeactivateAndUndo() {
    return S_OK;
}
STDMETHODIMP BrowserSite::OnPosRectChange(LPCRECT area) {
    if (area != nullptr) resize(*area);
    return S_OK;
}

// ---- IOleInPlaceUIWindow, IOleInPlaceFrame

STDMETHODIMP BrowserSite::GetBorder(LPRECT) {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP BrowserSite::RequestBorderSpace(LPCBORDERWIDTHS) {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP BrowserSite::SetBorderSpace(LPCBORDERWIDTHS) {
    return OLE_E_INVALIDRECT;
}

STDMETHODIMP BrowserSite::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
    if (active != nullptr) active->AddRef();
    release(active_);
    active_ = active;
    return S_OK;
}

STDMETHODIMP BrowserSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
    return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::SetMenu(HMENU, HOLEMENU, HWND) {
    return S_OK;
}
STDMETHODIMP BrowserSite::RemoveMenus(HMENU) {
    return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::SetStatusText(LPCOLESTR) {
    return S_OK;
}
STDMETHODIMP BrowserSite::EnableModeless(WINBOOL) {
    return S_OK;
}
STDMETHODIMP BrowserSite::TranslateAccelerator(LPMSG, WORD) {
    return S_FALSE;
}

// ---- IOleCommandTarget

STDMETHODIMP BrowserSite::QueryStatus(const GUID* group, ULONG count, OLECMD* commands,
                                      OLECMDTEXT*) {
    if (!isScriptErrorGroup(group)) return OLECMDERR_E_UNKNOWNGROUP;
    for (ULONG i = 0; commands != nullptr && i < count; ++i)
        commands[i].cmdf =
            commands[i].cmdID == OLECMDID_SHOWSCRIPTERROR ? OLECMDF_SUPPORTED | OLECMDF_ENABLED : 0;
    return S_OK;
}

STDMETHODIMP BrowserSite::Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT* out) {
    if (!isScriptErrorGroup(group)) return OLECMDERR_E_UNKNOWNGROUP;
    // Everything else keeps the browser's own handling.
    if (id != OLECMDID_SHOWSCRIPTERROR) return OLECMDERR_E_NOTSUPPORTED;
    // No dialog, which would stop the page for every error: the log has it, the scripts go on.
    bool hasDocument = in != nullptr && (V_VT(in) == VT_UNKNOWN || V_VT(in) == VT_DISPATCH);
    platform::logLine(scriptErrorLine(hasDocument ? V_UNKNOWN(in) : nullptr));
    if (out != nullptr) {
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = VARIANT_TRUE;
    }
    return S_OK;
}

// ---- IDispatch: events

STDMETHODIMP BrowserSite::GetTypeInfoCount(UINT* count) {
    if (count != nullptr) *count = 0;
    return S_OK;
}
STDMETHODIMP BrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                 EXCEPINFO*, UINT*) {
    if (events_ == nullptr || params == nullptr) return S_OK;
    // The arguments arrive last first.
    VARIANT* args = params->rgvarg;
    UINT count = params->cArgs;
    switch (id) {
        case DISPID_BEFORENAVIGATE2:  // frame, url, flags, target, post data, headers, cancel
            if (count >= 7 && events_->beforeNavigate(textOf(args[5]))) setCancel(args[0], true);
            break;
        case DISPID_NAVIGATECOMPLETE2: {  // frame, url
            if (count < 2) break;
            IDispatch* frame = dispatchOf(args[1]);
            std::u16string address = textOf(args[0]);
            installUiHandler(frame, address);
            events_->navigateComplete(isTopFrame(frame), address);
            break;
        }
        case DISPID_DOCUMENTCOMPLETE:  // frame, url
            // A document made without a completed navigation of its own (written by script)
            // still gets its handler.
            if (count >= 2) installUiHandler(dispatchOf(args[1]), textOf(args[0]));
            break;
        case DISPID_NAVIGATEERROR:  // frame, url, target, status, cancel
            if (count >= 5 &&
                events_->navigateError(isTopFrame(dispatchOf(args[4])), textOf(args[3])))
                setCancel(args[0], true);
            break;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
    return S_OK;
}
