#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/origin_policy.h"
#include "app/start_page.h"

// Which documents may call the program's methods, the same on every host: the program's own
// local pages (every page in the folder of the bundled page or of a start page that is a local
// file) and pages of an origin that the origin policy trusts (the start pages' and the build's
// extra ones). Nothing else: other local files, the offline page, about: and data: pages.
class PageTrust {
  public:
    PageTrust(const StartPages& pages, std::string_view extraOrigins);

    // The folders of the local pages as file: addresses ending with '/', written as the pages'
    // own addresses write them (UTF-8).
    const std::vector<std::string>& localFolders() const { return folderAddresses_; }
    const OriginPolicy& origins() const { return origins_; }

    // For a document's address as the browser reports it (UTF-8).
    bool isLocalPage(std::string_view address) const;
    bool trusts(std::string_view address) const;

  private:
    OriginPolicy origins_;
    std::vector<std::string> folderAddresses_;
    std::vector<std::string> folderPaths_;  // the same, as localPath() gives them
};

// The path of a local address: "file:" with an empty or "localhost" host, query and fragment
// dropped, escapes decoded. Nothing for other addresses and for paths with "." or ".." parts,
// which could climb out of the folder they seem to lie in.
std::optional<std::string> localPath(std::string_view address);
