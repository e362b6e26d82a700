#include "update/update_fetch.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace {

TEST(UpdateFetch, OnlyWholeBodiesFromVouchedServersCount) {
    LoopbackServer plain;
    LoopbackServer tls(LoopbackServer::Security::SelfSignedTls);
    std::string body(5000, 'b');
    body += "end";
    for (LoopbackServer* server : {&plain, &tls}) {
        server->serve("/whole", body);
        server->serve("/empty", "");
        server->serve("/error", body, 500);
        server->serve("/cut", body, 200, 4000);
    }
    plain.serve("/huge", std::string(1024 * 1024 + 1, 'h'));
    plain.serve("/limit", std::string(1024 * 1024, 'l'));

    struct Case {
        std::string url;
        bool fetched;
        std::string text;  // what fetchText answers and fetchToFile stores when fetched
    };
    const Case cases[] = {
        {plain.url("/whole"), true, body},
        {plain.url("/empty"), true, ""},
        {plain.url("/limit"), true, std::string(1024 * 1024, 'l')},
        {plain.url("/error"), false, ""},
        {plain.url("/cut"), false, ""},
        {plain.url("/missing"), false, ""},
        {tls.url("/whole"), false, ""},
        {"http://127.0.0.1:1/closed", false, ""},
        {"ftp://127.0.0.1/whole", false, ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(fetchText(c.url), c.text);
        std::string file = dir.file("download");
        platform::deleteFile(file);
        EXPECT_EQ(fetchToFile(c.url, file), c.fetched ? 1 : 0);
        if (c.fetched) {
            EXPECT_EQ(readFileBytes(file), c.text);
        }
    }
    // The manifest text is bounded; a file download is not.
    EXPECT_EQ(fetchText(plain.url("/huge")), "");
    EXPECT_EQ(fetchToFile(plain.url("/huge"), dir.file("huge")), 1);
    // The certificate is refused before any request is made.
    EXPECT_EQ(tls.requestCount("/whole"), 0);
    EXPECT_EQ(plain.lastAgent("/whole"), "Hello");
}

}  // namespace
