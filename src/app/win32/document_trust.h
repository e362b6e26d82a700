#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/origin_policy.h"

// Which documents of the browser control may call the program's methods, judged by the address
// the browser reports for each document: the program's own local pages (every page in the folder
// of one of `localPages`) and pages whose origin `policy` trusts. Anything else, including local
// files elsewhere, the offline page in the temporary folder, about: and res: pages, is not.
//
// The control gives no origin of its own for a request, so the address stands in for it; the
// host asks once per document and binds the answer to that document's window.external.
class DocumentTrust {
  public:
    DocumentTrust() = default;
    // `localPages`: ANSI paths or file: addresses of the program's own pages; a path that ends
    // with a separator names the folder itself. Addresses that are not local are skipped.
    DocumentTrust(OriginPolicy policy, const std::vector<std::string>& localPages);

    bool trusts(std::u16string_view address) const;

  private:
    OriginPolicy policy_;
    std::vector<std::u16string> folders_;  // comparable form, ending with '\'
};

// A local address (a file: address, a drive path or a UNC path) in a form that compares as the
// file system does: query and fragment dropped, escapes decoded, '\' as separator, ASCII letters
// in lower case. Nothing for other addresses and for paths with "." or ".." parts, which could
// climb out of a folder they seem to lie in.
std::optional<std::u16string> comparableLocalPath(std::u16string_view address);
