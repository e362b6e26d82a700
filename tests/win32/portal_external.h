#pragma once

#include "app/win32/dispatch_external.h"
#include "support/page_method_cases.h"

// The program's window.external for a portal at http://portal.example/: its settings in a fresh
// folder, the page's other methods recorded.
struct PortalExternal : PageMethodFixture {
    ExternalFactory factory{external,
                            DocumentTrust(OriginPolicy({"http://portal.example/"}, ""), {})};
};
