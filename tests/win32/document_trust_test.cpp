#include "app/win32/document_trust.h"

#include <gtest/gtest.h>

namespace {

TEST(DocumentTrustTest, OwnPagesAndTrustedOriginsOnly) {
    DocumentTrust trust(
        OriginPolicy({"https://portal.example/start.html", ""}, "http://extra.example:8080"),
        {"C:\\Program Files\\vantu\\portal\\index.html",
         "file:///D:/pages/start%20here/home.html?x=1", "http://skipped.example/"});
    struct Case {
        const char16_t* address;
        bool trusted;
    } cases[] = {
        {u"https://portal.example/", true},
        {u"https://PORTAL.example:443/deep/page.html?q#f", true},
        {u"http://portal.example/", false},  // another scheme is another origin
        {u"https://portal.example.evil.net/", false},
        {u"http://extra.example:8080/a", true},
        {u"http://extra.example/a", false},
        {u"http://skipped.example/", false},
        // '\' is read as '/' in a network address, so the host is evil.net.
        {u"https://evil.net\\@portal.example/", false},
        // A character the code page lacks must not end the host early.
        {u"https://portal.example\U0001F600.evil.net/", false},
        {u"file:///C:/Program%20Files/vantu/portal/index.html", true},
        {u"file:///c:/program files/VANTU/Portal/maps/route.html#top", true},
        {u"C:\\Program Files\\vantu\\portal\\index.html", true},
        {u"file:///D:/pages/start here/other.html", true},
        {u"file:///C:/Program%20Files/vantu/portalx/index.html", false},
        {u"file:///C:/Program%20Files/vantu/portal/../secret.html", false},
        {u"file:///C:/Program%20Files/vantu/portal/%2e%2e/secret.html", false},
        {u"file:///C:/Program%20Files/vantu/portal%2f..%2fsecret.html", false},
        {u"C:\\Program Files\\vantu\\portal\\.\\index.html", false},
        {u"C:\\Users\\me\\AppData\\Local\\Temp\\vantu\\nolink.html", false},
        {u"file://server/share/portal/index.html", false},
        {u"res://ieframe.dll/navcancl.htm", false},
        {u"about:blank", false},
        {u"", false},
    };
    for (const auto& c : cases) {
        std::u16string address(c.address);
        EXPECT_EQ(trust.trusts(address), c.trusted) << std::string(address.begin(), address.end());
    }
}

TEST(DocumentTrustTest, LocalAddressesCompareAsTheFileSystemDoes) {
    struct Case {
        const char16_t* address;
        const char16_t* path;  // null: not a local address, or refused
    } cases[] = {
        {u"file:///C:/A%20B/c.html?q=1#x", u"c:\\a b\\c.html"},
        {u"FILE://C|/x/y.htm", u"c:\\x\\y.htm"},
        {u"file:///C:/%E5%8C%97/i.html", u"c:\\\u5317\\i.html"},
        {u"file://host/share/p.html", u"\\\\host\\share\\p.html"},
        {u"C:/mixed\\Seps", u"c:\\mixed\\seps"},
        {u"C:relative.html", nullptr},
        {u"file:relative.html", nullptr},
        {u"C:\\a\\..\\b", nullptr},
        {u"http://host/C:/x", nullptr},
        {u"%", nullptr},
        {u"file:///C:/bad%zzescape%", u"c:\\bad%zzescape%"},
    };
    for (const auto& c : cases) {
        std::optional<std::u16string> path = comparableLocalPath(c.address);
        std::u16string address(c.address);
        if (c.path == nullptr) {
            EXPECT_FALSE(path) << std::string(address.begin(), address.end());
        } else {
            EXPECT_EQ(path, std::u16string(c.path)) << std::string(address.begin(), address.end());
        }
    }
}

}  // namespace
