#pragma once

#include <webkit2/webkit2.h>

#include <string>

#include "app/external_requests.h"

// Serves window.external to the pages of the web view. A script injected at document start into
// every frame defines it; its methods call the program through POST requests to the "vantu"
// scheme, which this object answers on the window's thread and which serves nothing else. The
// program's own local pages (in `trust`'s local folders) get a copy of the script that carries a
// key. Every request is checked against the main document of the view that sent it.
class WebKitExternal {
  public:
    WebKitExternal(WebKitWebContext* context, ExternalObject& external, const PageTrust& trust);
    ~WebKitExternal();
    WebKitExternal(const WebKitExternal&) = delete;
    WebKitExternal& operator=(const WebKitExternal&) = delete;

    // The content manager to build the web view with; it holds the scripts.
    WebKitUserContentManager* contentManager() const { return contentManager_; }

  private:
    static void onRequest(WebKitURISchemeRequest* request, gpointer self);

    ExternalRequests requests_;
    WebKitUserContentManager* contentManager_;
};

// A fresh random key: 32 hexadecimal digits.
std::string makeDocumentKey();
