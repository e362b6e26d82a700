#pragma once

#include <windows.h>
// windows.h first: the OLE headers below need its types.
#include <exdisp.h>
#include <oleidl.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/win32/com_object.h"
#include "app/win32/com_ref.h"

// Makes the object the page reaches as window.external for the document at `address`, or
// nothing when that document gets none.
using ExternalMaker = std::function<ComRef<IDispatch>(std::u16string_view address)>;

// What the browser tells the window. Frames are the browser objects of the top document and of
// its inner frames.
class BrowserEvents {
  public:
    virtual ~BrowserEvents() = default;
    // Before every navigation of every frame; true cancels it.
    virtual bool beforeNavigate(std::u16string_view address) = 0;
    // The document of `frame` has loaded completely; the top frame's comes after its inner
    // frames'.
    virtual void documentComplete(bool topFrame) = 0;
    // A navigation failed; true cancels the browser's own error page.
    virtual bool navigateError(bool topFrame, std::u16string_view address) = 0;
};

// Our container of the WebBrowser control. This object is the container's identity and holds
// its one reference count; every interface the control asks it for (client site, in-place site
// and frame, command target, the sink of the browser's events, the documents' host UI handler)
// is a small part of it whose IUnknown is this object's. The command target takes the engine's
// script errors into the program's log, without a dialog.
//
// The control holds on to it; close() cuts it off from the window before the window goes.
class BrowserSite final : public ComObject<IUnknown> {
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
    bool hasDocument() const { return static_cast<bool>(document()); }
    // The top document, or nothing.
    ComRef<IDispatch> document() const;
    void resize(const RECT& area);
    // Sets the page's zoom in percent (100 for none).
    void zoom(int percent);
    // Lets the control handle its keys (tab between fields, shortcuts). True when it took the
    // message.
    bool translateAccelerator(MSG& message);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

  private:
    template <typename Interface>
    class Part;
    class ClientSite;
    class InPlaceSite;
    class Frame;
    class CommandTarget;
    class EventSink;
    class UiHandler;
    class DocumentUiHandler;
    struct Parts;

    ~BrowserSite() override;
    void* partFor(REFIID iid);
    HRESULT browserEvent(DISPID id, const DISPPARAMS& params);
    bool isTopFrame(IDispatch* frame) const;
    // Gives the frame's document a host UI handler of its own, bound to the document's address.
    void installUiHandler(IDispatch* frame, std::u16string_view address);

    BrowserEvents* events_;
    ExternalMaker factory_;
    HWND parent_ = nullptr;
    HWND controlWindow_ = nullptr;
    ComRef<IOleObject> object_;
    ComRef<IWebBrowser2> browser_;
    ComRef<IOleInPlaceActiveObject> active_;
    ComRef<IConnectionPoint> eventPoint_;
    DWORD eventCookie_ = 0;
    std::unique_ptr<Parts> parts_;
};
