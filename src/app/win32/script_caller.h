#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include <string>
#include <vector>

#include "app/page_messages.h"

struct IHTMLDocument;

// Calls a global function of the loaded page by name, with text arguments, through the
// document's script object. It records why a call failed in lastError() but never shows it;
// callers fire and forget. Window thread only: the document and its script belong to it.
class ScriptCaller {
  public:
    ScriptCaller() = default;
    virtual ~ScriptCaller();
    ScriptCaller(const ScriptCaller&) = delete;
    ScriptCaller& operator=(const ScriptCaller&) = delete;

    // `document`: the browser's Document. Drops a document held from before; false when there is
    // none or it is no HTML document.
    bool setDocument(IUnknown* document);
    // `name` and `args` are ANSI text, `args` in the order the page function receives them.
    // When the call succeeds, its value is copied into `result` (an initialised variant) if
    // given; a copy that fails leaves VT_ERROR with the copy's status there.
    bool call(const std::string& name, const std::vector<std::string>& args,
              VARIANT* result = nullptr);
    bool call(const std::string& name) { return call(name, {}); }

    const std::string& lastError() const { return lastError_; }

  private:
    bool fail(const std::string& reason);

    IHTMLDocument* document_ = nullptr;
    std::string lastError_;
};

// The system's own text for a status (the system default language), or
// "FormatMessage Netive Error" when it has none.
std::string systemMessageText(HRESULT status);

// A page call as the window makes it for the event router: a fresh caller for the browser's
// current document and one call. True when the page function ran; callers may ignore it.
bool callPageFunction(IUnknown* document, const PageCall& call);
