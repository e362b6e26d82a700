#include "app/win32/browser_site.h"

#include <docobj.h>
#include <exdispid.h>
#include <mshtmhst.h>

#include <string>

#include "app/win32/dispatch_property.h"
#include "app/win32/script_error.h"
#include "platform/log.h"

namespace {

// Host flags of the documents: dialog-like without text selection, no 3-D border, no scroll bars,
// sized for the screen's DPI, controls in the system's theme.
constexpr DWORD kHostFlags = DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_NO3DBORDER |
                             DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_DPI_AWARE |
                             DOCHOSTUIFLAG_THEME;

// The document host's command group (CGID_DocHostCommandHandler), which mingw-w64 lacks; the
// engine asks in it, or in the standard group, to show a script error.
constexpr GUID kDocHostCommands = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

bool isScriptErrorGroup(const GUID* group) {
    return group == nullptr || IsEqualGUID(*group, kDocHostCommands);
}

// What a method answers that the container does not implement; its out-parameter is cleared.
template <typename T>
HRESULT notImplemented(T** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}

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

}  // namespace

// ---- the parts

// IUnknown of every part is the container's: each interface leads back to one identity and
// one reference count.
template <typename Interface>
class BrowserSite::Part : public Interface {
  public:
    explicit Part(BrowserSite& site) : site_(site) {}
    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return site_.QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return site_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return site_.Release(); }

  protected:
    // IOleWindow's answer, for the in-place site and the frame: the window that holds the control.
    HRESULT parentWindow(HWND* out) const {
        if (out == nullptr) return E_POINTER;
        *out = site_.parent_;
        return S_OK;
    }

    BrowserSite& site_;
};

class BrowserSite::ClientSite final : public Part<IOleClientSite> {
  public:
    using Part::Part;
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override { return notImplemented(out); }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out != nullptr) *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
};

class BrowserSite::InPlaceSite final : public Part<IOleInPlaceSite> {
  public:
    using Part::Part;
    STDMETHODIMP GetWindow(HWND* out) override { return parentWindow(out); }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT area) override {
        if (area != nullptr) site_.resize(*area);
        return S_OK;
    }
};

// The frame and its UI window: no tool space, no menus; it keeps the control's active object,
// through which the window's keys reach the control.
class BrowserSite::Frame final : public Part<IOleInPlaceFrame> {
  public:
    using Part::Part;
    STDMETHODIMP GetWindow(HWND* out) override { return parentWindow(out); }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return OLE_E_INVALIDRECT; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
        site_.active_ = ComRef<IOleInPlaceActiveObject>::share(active);
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

// Takes the engine's requests to show a script error: no dialog, which would stop the page for
// every error; the log has it and the scripts go on. Every other command keeps the browser's
// own handling.
class BrowserSite::CommandTarget final : public Part<IOleCommandTarget> {
  public:
    using Part::Part;
    STDMETHODIMP QueryStatus(const GUID* group, ULONG count, OLECMD* commands,
                             OLECMDTEXT*) override;
    STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT* out) override;
};

// The sink of the browser's events (DWebBrowserEvents2).
class BrowserSite::EventSink final : public Part<IDispatch> {
  public:
    using Part::Part;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override { return notImplemented(out); }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return params != nullptr ? site_.browserEvent(id, *params) : S_OK;
    }
};

// The host UI handler of documents that have none of their own yet: no context menu of the
// browser's own (the page has had its right click), a dialog-like document without 3-D border
// or scroll bars, and no window.external.
class BrowserSite::UiHandler : public Part<IDocHostUIHandler> {
  public:
    using Part::Part;
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        if (info == nullptr) return E_POINTER;
        info->dwFlags = kHostFlags;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP HideUI() override { return E_NOTIMPL; }
    STDMETHODIMP UpdateUI() override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    // The control's own keys stay with the control (the window's pre-filter hands them over).
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override { return notImplemented(key); }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
        return notImplemented(out);
    }
    STDMETHODIMP GetExternal(IDispatch** out) override {
        if (out == nullptr) return E_POINTER;
        *out = external().detach();
        return *out != nullptr ? S_OK : S_FALSE;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override { return notImplemented(out); }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        return notImplemented(out);
    }

  protected:
    virtual ComRef<IDispatch> external() { return {}; }
};

// The host UI handler of one document, bound to the address it was made for: every request for
// window.external gets a new object made for that address. Documents keep their handler after
// the container has moved on, so it lives by a count of its own and holds a reference to the
// container for each of its own.
class BrowserSite::DocumentUiHandler final : public UiHandler {
  public:
    DocumentUiHandler(BrowserSite& site, std::u16string address)
        : UiHandler(site), address_(std::move(address)) {
        site_.AddRef();
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr || !IsEqualIID(iid, IID_IDocHostUIHandler))
            return site_.QueryInterface(iid, out);
        *out = static_cast<IDocHostUIHandler*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        InterlockedIncrement(&references_);
        return site_.AddRef();
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&references_);
        ULONG siteLeft = site_.Release();
        if (left == 0) delete this;
        return siteLeft;
    }

  private:
    ComRef<IDispatch> external() override {
        return site_.factory_ ? site_.factory_(address_) : ComRef<IDispatch>();
    }

    LONG references_ = 1;
    const std::u16string address_;
};

struct BrowserSite::Parts {
    explicit Parts(BrowserSite& site)
        : clientSite(site),
          inPlaceSite(site),
          frame(site),
          commands(site),
          events(site),
          uiHandler(site) {}

    ClientSite clientSite;
    InPlaceSite inPlaceSite;
    Frame frame;
    CommandTarget commands;
    EventSink events;
    UiHandler uiHandler;
};

STDMETHODIMP BrowserSite::InPlaceSite::GetWindowContext(IOleInPlaceFrame** frame,
                                                        IOleInPlaceUIWindow** document,
                                                        LPRECT position, LPRECT clip,
                                                        LPOLEINPLACEFRAMEINFO info) {
    if (frame != nullptr)
        site_.QueryInterface(IID_IOleInPlaceFrame, reinterpret_cast<void**>(frame));
    if (document != nullptr) *document = nullptr;
    RECT client{};
    GetClientRect(site_.parent_, &client);
    if (position != nullptr) *position = client;
    if (clip != nullptr) *clip = client;
    if (info != nullptr) {
        info->fMDIApp = FALSE;
        info->hwndFrame = site_.parent_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP BrowserSite::CommandTarget::QueryStatus(const GUID* group, ULONG count,
                                                     OLECMD* commands, OLECMDTEXT*) {
    if (!isScriptErrorGroup(group)) return OLECMDERR_E_UNKNOWNGROUP;
    for (ULONG i = 0; commands != nullptr && i < count; ++i)
        commands[i].cmdf =
            commands[i].cmdID == OLECMDID_SHOWSCRIPTERROR ? OLECMDF_SUPPORTED | OLECMDF_ENABLED : 0;
    return S_OK;
}

STDMETHODIMP BrowserSite::CommandTarget::Exec(const GUID* group, DWORD id, DWORD, VARIANT* in,
                                              VARIANT* out) {
    if (!isScriptErrorGroup(group)) return OLECMDERR_E_UNKNOWNGROUP;
    if (id != OLECMDID_SHOWSCRIPTERROR) return OLECMDERR_E_NOTSUPPORTED;
    bool hasDocument = in != nullptr && (V_VT(in) == VT_UNKNOWN || V_VT(in) == VT_DISPATCH);
    platform::logLine(scriptErrorLine(hasDocument ? V_UNKNOWN(in) : nullptr));
    if (out != nullptr) {
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = VARIANT_TRUE;
    }
    return S_OK;
}

// ---- the container

BrowserSite::BrowserSite(BrowserEvents& events, ExternalMaker factory)
    : events_(&events), factory_(std::move(factory)), parts_(std::make_unique<Parts>(*this)) {}

BrowserSite::~BrowserSite() {
    close();
}

HRESULT BrowserSite::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = partFor(iid);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

void* BrowserSite::partFor(REFIID iid) {
    Parts& parts = *parts_;
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IUnknown*>(this);
    if (IsEqualIID(iid, IID_IOleClientSite)) return static_cast<IOleClientSite*>(&parts.clientSite);
    if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
        return static_cast<IOleInPlaceSite*>(&parts.inPlaceSite);
    if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame))
        return static_cast<IOleInPlaceFrame*>(&parts.frame);
    if (IsEqualIID(iid, IID_IOleCommandTarget))
        return static_cast<IOleCommandTarget*>(&parts.commands);
    if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_DWebBrowserEvents2))
        return static_cast<IDispatch*>(&parts.events);
    if (IsEqualIID(iid, IID_IDocHostUIHandler))
        return static_cast<IDocHostUIHandler*>(&parts.uiHandler);
    return nullptr;
}

bool BrowserSite::create(HWND parent, const RECT& area) {
    parent_ = parent;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(object_.put()))))
        return false;
    IOleClientSite* site = &parts_->clientSite;
    object_->SetClientSite(site);
    OleSetContainedObject(object_.get(), TRUE);
    RECT rect = area;
    if (SUCCEEDED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, parent, &rect)))
        browser_ = queryInterface<IWebBrowser2>(object_.get());
    if (!browser_) {
        close();
        return false;
    }
    if (auto inPlace = queryInterface<IOleInPlaceObject>(object_.get()))
        inPlace->GetWindow(&controlWindow_);
    auto points = queryInterface<IConnectionPointContainer>(browser_.get());
    if (points &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, eventPoint_.put())) &&
        FAILED(eventPoint_->Advise(&parts_->events, &eventCookie_)))
        eventPoint_.reset();
    return true;
}

void BrowserSite::close() {
    events_ = nullptr;
    factory_ = nullptr;
    if (eventPoint_) {
        eventPoint_->Unadvise(eventCookie_);
        eventPoint_.reset();
    }
    active_.reset();
    browser_.reset();
    if (object_) {
        if (auto inPlace = queryInterface<IOleInPlaceObject>(object_.get()))
            inPlace->InPlaceDeactivate();
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.reset();
    }
    controlWindow_ = nullptr;
}

bool BrowserSite::navigate(std::u16string_view address) {
    if (!browser_) return false;
    BSTR url = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(address.data()),
                                 static_cast<UINT>(address.size()));
    VARIANT empty;
    VariantInit(&empty);
    HRESULT result = browser_->Navigate(url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
    return SUCCEEDED(result);
}

ComRef<IDispatch> BrowserSite::document() const {
    ComRef<IDispatch> document;
    if (browser_) browser_->get_Document(document.put());
    return document;
}

void BrowserSite::resize(const RECT& area) {
    if (auto inPlace = queryInterface<IOleInPlaceObject>(object_.get()))
        inPlace->SetObjectRects(&area, &area);
}

void BrowserSite::zoom(int percent) {
    if (!browser_) return;
    VARIANT level;
    VariantInit(&level);
    V_VT(&level) = VT_I4;
    V_I4(&level) = percent;
    browser_->ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &level, nullptr);
}

bool BrowserSite::translateAccelerator(MSG& message) {
    return active_ && active_->TranslateAccelerator(&message) == S_OK;
}

bool BrowserSite::isTopFrame(IDispatch* frame) const {
    return frame != nullptr && browser_ && sameObject(frame, browser_.get());
}

void BrowserSite::installUiHandler(IDispatch* frame, std::u16string_view address) {
    auto custom = DispatchProperty(frame, L"Document").as<ICustomDoc>();
    if (!custom) return;
    ComRef<DocumentUiHandler> handler(new DocumentUiHandler(*this, std::u16string(address)));
    custom->SetUIHandler(handler.get());
}

HRESULT BrowserSite::browserEvent(DISPID id, const DISPPARAMS& params) {
    if (events_ == nullptr) return S_OK;
    // The arguments arrive last first.
    VARIANT* args = params.rgvarg;
    UINT count = args != nullptr ? params.cArgs : 0;
    switch (id) {
        case DISPID_BEFORENAVIGATE2:  // frame, url, flags, target, post data, headers, cancel
            if (count >= 7 && events_->beforeNavigate(textOf(args[5]))) setCancel(args[0], true);
            break;
        case DISPID_NAVIGATECOMPLETE2: {  // frame, url
            if (count < 2) break;
            IDispatch* frame = dispatchOf(args[1]);
            std::u16string address = textOf(args[0]);
            installUiHandler(frame, address);
            break;
        }
        case DISPID_DOCUMENTCOMPLETE:  // frame, url
            if (count < 2) break;
            // A document made without a completed navigation of its own (written by script)
            // still gets its handler.
            installUiHandler(dispatchOf(args[1]), textOf(args[0]));
            events_->documentComplete(isTopFrame(dispatchOf(args[1])));
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
