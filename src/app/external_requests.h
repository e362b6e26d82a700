#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/page_messages.h"
#include "app/page_trust.h"
#include "bridge/external_object.h"
#include "bridge/script_value.h"

// The page's window.external, as a script injected into every document calls it: one
// synchronous request per method call, named by the method, from the document's origin.
//
// Request body (UTF-8): the document's key, a line feed, then each script argument in order,
// with its script type:
//   s<length in UTF-16 units>:<text>   i<integer>;   d<number>;   b1; b0;   n; (null)
//   u; (undefined)   o; (anything else)
// Answer body (UTF-8): "s" and the text, "t" for the boolean true, nothing for no value.

struct ExternalRequest {
    std::string key;
    std::vector<ScriptValue> args;  // script order
};

// Nothing for a malformed body.
std::optional<ExternalRequest> decodeExternalRequest(std::string_view body);
std::string encodeExternalAnswer(const ScriptResult& result);

// Answers requests while the view's main document is one that `trust` trusts, and then only
// requests that carry the key (the program's own local pages get it in their copy of the script)
// or come from an origin that `trust` trusts. What the web process claims (key, origin) is thus
// checked against what the program itself knows (the main document's address). Everything else,
// and every malformed request, gets no value and runs nothing.
class ExternalRequests {
  public:
    ExternalRequests(ExternalObject& external, PageTrust trust, std::string key)
        : external_(external), trust_(std::move(trust)), key_(std::move(key)) {}

    // `mainDocument`: the address of the main document of the view that sent the request.
    std::string answer(std::string_view method, std::string_view origin, std::string_view body,
                       std::string_view mainDocument);

    const std::string& key() const { return key_; }

  private:
    ExternalObject& external_;
    PageTrust trust_;
    std::string key_;
};

// The script that calls page function `name` with ANSI text arguments, in ASCII: every text a
// string literal. It evaluates to true, or to false when the page has no such function.
std::string pageCallScript(const PageCall& call);
