#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <string>
#include <vector>

#include "app/external_requests.h"

// Serves window.external to the pages of the web view. A script injected at document start into
// every frame defines it; its methods call the program through requests to the "vantu" scheme,
// which this object answers on the window's thread. The program's own local pages (matched by
// `localPages`, URI patterns) get a copy of the script that carries a key; other documents are
// served only when their origin is trusted.
//
// The same scheme serves the offline page from the bytes the program holds, under
// kOfflinePageAddress: what is shown there is always the program's own page, whatever lies in
// any folder. The offline page gets no key.
inline constexpr const char* kOfflinePageAddress = "vantu://offline/nolink.html";

class WebKitExternal {
  public:
    WebKitExternal(WebKitWebContext* context, ExternalObject& external, OriginPolicy policy,
                   const std::vector<std::string>& localPages);
    ~WebKitExternal();
    WebKitExternal(const WebKitExternal&) = delete;
    WebKitExternal& operator=(const WebKitExternal&) = delete;

    // The content manager to build the web view with; it holds the two scripts.
    WebKitUserContentManager* contentManager() const { return contentManager_; }

    // The offline page's text (GBK) and its picture, served from now on.
    void setOfflinePage(std::string page, std::string picture);

  private:
    static void onRequest(WebKitURISchemeRequest* request, gpointer self);

    ExternalRequests requests_;
    WebKitUserContentManager* contentManager_;
    // Address → content type and bytes.
    std::map<std::string, std::pair<std::string, std::string>> resources_;
};

// A fresh random key: 32 hexadecimal digits.
std::string makeDocumentKey();
