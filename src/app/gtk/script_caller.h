#pragma once

#include <webkit2/webkit2.h>

#include <functional>

#include "app/page_messages.h"

// Calls a global function of the document in `view` by name, with text arguments. The call runs
// in the page after this returns; `done`, when given, runs once the page has run or refused it,
// or at once when there is no document to call. Nobody waits for the answer.
void callPageFunction(WebKitWebView* view, const PageCall& call, std::function<void()> done);
