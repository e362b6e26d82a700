#include "app/page_trust.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const StartPages kPages{"file:///srv/pages/start.html?campaign=1", "http://portal.test/alt.html",
                        "file:///opt/vantu/portal/index.html"};

TEST(PageTrust, LocalPagesAreTheFoldersOfTheBundledAndTheLocalStartPages) {
    struct Case {
        StartPages pages;
        std::vector<std::string> folders;
    } cases[] = {
        {kPages, {"file:///opt/vantu/portal/", "file:///srv/pages/"}},
        {{"http://portal.test/", "", "file:///C:/Program Files/vantu/portal/index.html"},
         {"file:///C:/Program Files/vantu/portal/"}},
        {{"file:///opt/vantu/portal/start.html", "file:///opt/vantu/portal/alt.html#x",
          "file:///opt/vantu/portal/index.html"},
         {"file:///opt/vantu/portal/"}},
        {{"http://portal.test/", "https://portal.test/", "about:blank"}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PageTrust(c.pages, "").localFolders(), c.folders) << c.pages.bundled;
}

TEST(PageTrust, TrustsTheProgramsOwnLocalPagesAndTheTrustedOriginsOnly) {
    PageTrust trust(kPages, "https://extra.test");
    struct Case {
        const char* address;
        bool trusted;
    } cases[] = {
        {"file:///opt/vantu/portal/index.html", true},
        {"file:///opt/vantu/portal/sub/page.html?a=1#b", true},
        {"file://localhost/opt/vantu/portal/index.html", true},
        {"FILE:///opt/vantu/portal/index.html", true},
        {"file:///opt/vantu/portal/%E4%B8%AD.html", true},
        {"file:///srv/pages/other.html", true},
        {"file:///opt/vantu/portal/../secret.html", false},
        {"file:///opt/vantu/portal/%2E%2E/secret.html", false},
        {"file:///opt/vantu/portal/..%2Fsecret.html", false},
        {"file:///opt/vantu/portal/%00.html", false},
        {"file:///opt/vantu/portalx/index.html", false},
        {"file:///opt/vantu/Portal/index.html", false},
        {"file://server/opt/vantu/portal/index.html", false},
        {"file:///home/user/page.html", false},
        {"file:opt/vantu/portal/index.html", false},
        {"http://portal.test/alt.html", true},
        {"http://portal.test/other?x", true},
        {"https://extra.test/x", true},
        {"http://portal.test:8080/", false},
        {"https://portal.test/", false},
        {"vantu-offline://page/nolink.html", false},
        {"about:blank", false},
        {"data:text/html,x", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trust.trusts(c.address), c.trusted) << c.address;
}

}  // namespace
