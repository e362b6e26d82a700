#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <string>
#include <string_view>

// Serves the offline page from the bytes the program holds, under kOfflinePageAddress, through
// a scheme of its own that answers GET and nothing else: what shows there is always the
// program's own page, whatever lies in any folder. No document there gets window.external.
inline constexpr const char* kOfflinePageAddress = "vantu-offline://page/nolink.html";

class OfflineScheme {
  public:
    explicit OfflineScheme(WebKitWebContext* context);
    OfflineScheme(const OfflineScheme&) = delete;
    OfflineScheme& operator=(const OfflineScheme&) = delete;

    // The page's text (GBK) and its picture, served from now on.
    void setPage(std::string text, std::string_view picture);

  private:
    static void onRequest(WebKitURISchemeRequest* request, gpointer self);

    // Address without query or fragment → content type and bytes.
    std::map<std::string, std::pair<std::string, std::string>> files_;
};
