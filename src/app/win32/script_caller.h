#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include <string>
#include <vector>

#include "app/page_messages.h"
#include "app/win32/com_ref.h"

struct IHTMLDocument2;

// Calls a global function of the loaded page by name, with text arguments, through the
// document's script object. Callers fire and forget: a call that fails (no document, no such
// function, a function that throws) answers false and nothing else. Window thread only: the
// document and its script belong to it.
class ScriptCaller {
  public:
    ScriptCaller() = default;
    ~ScriptCaller();
    ScriptCaller(const ScriptCaller&) = delete;
    ScriptCaller& operator=(const ScriptCaller&) = delete;

    // `document`: the browser's Document, in place of one held from before. False when there is
    // none (the one from before is kept) or it is no HTML document.
    bool setDocument(IUnknown* document);
    // `name` and `args` are ANSI text, `args` in the order the page function receives them.
    bool call(const std::string& name, const std::vector<std::string>& args);

  private:
    ComRef<IHTMLDocument2> document_;
};

// A page call as the window makes it for the event router: a fresh caller for the browser's
// current document and one call. True when the page function ran; callers may ignore it.
bool callPageFunction(IUnknown* document, const PageCall& call);
