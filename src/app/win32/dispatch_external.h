#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include <utility>

#include "app/win32/com_ref.h"
#include "app/win32/document_trust.h"
#include "bridge/external_object.h"

// window.external for the WebBrowser control: an IDispatch over the program's ExternalObject.
//
// Every document gets an object of its own, made for the address the browser reports for it
// (NavigateComplete2 or DocumentComplete) and bound to that address for its whole life. The
// binding is decided when the object is made: an object made for a document that `trust` does
// not trust looks up names as any other, but its Invoke runs nothing and hands back no value
// (S_OK, the result slot untouched), exactly as the Linux host answers an untrusted frame.
// A page that is navigated elsewhere therefore never inherits a trusted object: the new
// document gets a new one, made for its own address.
//
// Make the object at NavigateComplete2, which comes before the document's scripts run (they may
// ask for window.external before DocumentComplete), and hand it out from the host UI handler's
// GetExternal. GetExternal does not say which frame asks: the object of the top document serves
// its frames too.
//
// The ExternalObject must outlive the browser control and every object made here.
class ExternalFactory {
  public:
    ExternalFactory(ExternalObject& external, DocumentTrust trust)
        : external_(external), trust_(std::move(trust)) {}

    // A new object (nothing when out of memory). A null address is trusted by nothing.
    ComRef<IDispatch> makeExternalFor(const wchar_t* address) const;

    bool trusts(const wchar_t* address) const;

  private:
    ExternalObject& external_;
    DocumentTrust trust_;
};
