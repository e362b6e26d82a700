#include "app/origin_policy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(OriginPolicy, OriginsAreWrittenAsTheOriginHeaderHasThem) {
    struct Case {
        const char* address;
        const char* origin;
    } cases[] = {
        {"http://Portal.Example.COM/index.html?x=1", "http://portal.example.com"},
        {"HTTPS://portal.test:443/a", "https://portal.test"},
        {"http://portal.test:80", "http://portal.test"},
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8080"},
        {"https://user:pw@portal.test:8443#top", "https://portal.test:8443"},
        {"http://[::1]:81/x", "http://[::1]:81"},
        {"http://[::1]/x", "http://[::1]"},
        {"https://portal.test", "https://portal.test"},
        {"file:///opt/portal/index.html", ""},
        {"about:blank", ""},
        {"ftp://files.test/", ""},
        {"http://:80/", ""},
        {"http://portal.test:8o/", ""},
        {"portal.test", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(originOf(c.address), c.origin) << c.address;
}

TEST(OriginPolicy, TrustsTheStartPagesAndTheExtraOriginsOnly) {
    OriginPolicy policy({"http://portal.test/start.html", "", "file:///opt/portal/index.html"},
                        " https://secure.test:8443 ;http://other.test/page;;");
    EXPECT_EQ(policy.origins(),
              (std::vector<std::string>{"http://portal.test", "https://secure.test:8443",
                                        "http://other.test"}));
    struct Case {
        const char* header;
        bool trusted;
    } cases[] = {
        {"http://portal.test", true},
        {"https://secure.test:8443", true},
        {"http://other.test", true},
        {"https://portal.test", false},
        {"http://portal.test:8080", false},
        {"http://evil.test", false},
        {"null", false},
        {"", false},
        {"http://portal.test/", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(policy.trusts(c.header), c.trusted) << c.header;
}

}  // namespace
