#pragma once

#include <windows.h>
// windows.h first: the OLE headers below need its types.
#include <docobj.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <oleidl.h>

#include <functional>
#include <string>
#include <string_view>

// Makes the object the page reaches as window.external for the document at `address`: a new
// reference, or null when that document gets none.
using ExternalMaker = std::function<IDispatch*(std::u16string_view address)>;

// What the browser tells the window. Frames are the browser objects of the top document and of
// its inner frames.
class BrowserEvents {
  public:
    virtual ~BrowserEvents() = default;
    // Before every navigation of every frame; true cancels it.
    virtual bool beforeNavigate(std::u16string_view address) = 0;
    // A navigation of `frame` has completed: its document exists.
    virtual void navigateComplete(bool topFrame, std::u16string_view address) = 0;
    // A navigation failed; true cancels the browser's own error page.
    virtual bool navigateError(bool topFrame, std::u16string_view address) = 0;
};

// The host UI handler of one document: no context menu of the browser's own, a dialog-like
// document without 3-D border or scroll bars, and window.external made for that document's
// address on every request.
class PageUiHandler : public IDocHostUIHandler, public IDispatch {
  public:
    PageUiHandler(ExternalMaker factory, std::u16string address);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP EnableModeless(WINBOOL) override;
    STDMETHODIMP OnDocWindowActivate(WINBOOL) override;
    STDMETHODIMP OnFrameWindowActivate(WINBOOL) override;
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override;
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
    STDMETHODIMP GetExternal(IDispatch** out) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override;
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override;
    // IDispatch: nothing to call.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override;

  private:
    virtual ~PageUiHandler() = default;

    LONG references_ = 1;
    ExternalMaker factory_;
    std::u16string address_;
};

// Our container of the WebBrowser control: client site, in-place site and frame, the sink of
// the browser's events, and the command target that takes the engine's script errors (into the
// program's log, without a dialog). Reference counted, as the browser holds on to it; close()
// cuts it off from the window before the window goes.
class BrowserSite : public IOleClientSite,
                    public IOleInPlaceSite,
                    public IOleInPlaceFrame,
                    public IOleCommandTarget,
                    public IDispatch {
  public:
    BrowserSite(BrowserEvents& events, ExternalMaker factory);

    // Creates the control inside `parent` at `area` and activates it in place. False when the
    // system has no browser control.
    bool create(HWND parent, const RECT& area);
    // Deactivates and releases the control; the site answers nothing afterwards.
    void close();

    // The control's own window (null before create).
    HWND window() const { return controlWindow_; }
    bool navigate(std::u16string_view address);
    // Whether the top frame holds a document.
    bool hasDocument() const;
    // The top document (a new reference), or null.
    IDispatch* document() const;
    void resize(const RECT& area);
    // Lets the control handle its keys (tab between fields, shortcuts). True when it took the
    // message.
    bool translateAccelerator(MSG& message);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
    STDMETHODIMP GetContainer(IOleContainer** out) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(WINBOOL) override;
    STDMETHODIMP RequestNewObjectLayout() override;
    // IOleWindow (of both the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(WINBOOL) override;
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override;
    STDMETHODIMP OnUIDeactivate(WINBOOL) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT) override;
    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override;
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override;
    STDMETHODIMP RemoveMenus(HMENU) override;
    STDMETHODIMP SetStatusText(LPCOLESTR) override;
    STDMETHODIMP EnableModeless(WINBOOL) override;
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override;
    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID* group, ULONG count, OLECMD* commands,
                             OLECMDTEXT*) override;
    STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT* out) override;
    // IDispatch: the browser's events (DWebBrowserEvents2)
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

  private:
    virtual ~BrowserSite();
    bool isTopFrame(IDispatch* frame) const;
    // Gives the frame's document its own host UI handler, bound to the document's address.
    void installUiHandler(IDispatch* frame, std::u16string_view address);

    LONG references_ = 1;
    BrowserEvents* events_;
    ExternalMaker factory_;
    // Documents without a handler of their own (before their navigation completes) get this one,
    // which hands out no external object.
    PageUiHandler* fallbackHandler_ = nullptr;
    HWND parent_ = nullptr;
    HWND controlWindow_ = nullptr;
    IOleObject* object_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    IOleInPlaceActiveObject* active_ = nullptr;
    IConnectionPoint* eventPoint_ = nullptr;
    DWORD eventCookie_ = 0;
};
