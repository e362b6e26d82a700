#include "update/update_fetch.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <chrono>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace {

TEST(UpdateFetch, OnlyWholeBodiesFromVouchedServersCount) {
    LoopbackServer plain;
    // A server whose certificate nobody vouches for; the Windows build has no TLS server.
    std::optional<LoopbackServer> tls;
    if (LoopbackServer::tlsAvailable()) tls.emplace(LoopbackServer::Security::SelfSignedTls);
    std::string body(5000, 'b');
    body += "end";
    std::vector<LoopbackServer*> servers{&plain};
    if (tls) servers.push_back(&*tls);
    for (LoopbackServer* server : servers) {
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
    std::vector<Case> cases = {
        {plain.url("/whole"), true, body},
        {plain.url("/empty"), true, ""},
        {plain.url("/limit"), true, std::string(1024 * 1024, 'l')},
        {plain.url("/error"), false, ""},
        {plain.url("/cut"), false, ""},
        {plain.url("/missing"), false, ""},
        {"http://127.0.0.1:1/closed", false, ""},
        {"ftp://127.0.0.1/whole", false, ""},
    };
    if (tls) cases.push_back({tls->url("/whole"), false, ""});
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
    if (tls) {
        EXPECT_EQ(tls->requestCount("/whole"), 0);
    }
    EXPECT_EQ(plain.lastAgent("/whole"), "Hello");
}

TEST(UpdateFetch, LimitsEndTransfersAndLeaveNothingBehind) {
    using namespace std::chrono_literals;
    LoopbackServer server;
    const std::string body(3000, 'p');
    server.serve("/body", body);
    LoopbackServer::Route silent{"", 200, LoopbackServer::Behaviour::Silent};
    LoopbackServer::Route trickle{"", 200, LoopbackServer::Behaviour::SlowBody};
    trickle.interval = 50ms;  // 320 bytes a second
    server.setRoute("/silent", silent);
    server.setRoute("/trickle", trickle);

    struct Case {
        const char* name;
        std::string path;
        FetchLimits limits;
        bool fetched;
    };
    FetchLimits deadline;
    deadline.deadline = 400ms;
    FetchLimits slow;
    slow.minBytesPerSecond = 1024;
    slow.rateWindow = 300ms;
    FetchLimits capped;
    capped.maxBytes = static_cast<int64_t>(body.size()) - 1;
    FetchLimits exact;
    exact.maxBytes = static_cast<int64_t>(body.size());
    FetchLimits secure;
    secure.httpsOnly = true;
    const Case cases[] = {
        {"silent server past the deadline", "/silent", deadline, false},
        {"trickling server past the deadline", "/trickle", deadline, false},
        {"trickling below the minimum rate", "/trickle", slow, false},
        {"body over the cap", "/body", capped, false},
        {"body exactly at the cap", "/body", exact, true},
        {"plain http where only https will do", "/body", secure, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int before = server.requestCount(c.path);
        EXPECT_EQ(fetchText(server.url(c.path), c.limits), c.fetched ? body : "");
        std::string file = dir.file("download");
        writeFileBytes(file, "an earlier, partial download");
        EXPECT_EQ(fetchToFile(server.url(c.path), file, c.limits), c.fetched ? 1 : 0);
        if (c.fetched) {
            EXPECT_EQ(readFileBytes(file), body);
        } else {
            EXPECT_FALSE(platform::fileExists(file));
        }
        if (c.limits.httpsOnly) {
            EXPECT_EQ(server.requestCount(c.path), before);
        }
    }
}

#ifndef _WIN32
// POSIX only: there a user can plant a symbolic link without any privilege.
TEST(UpdateFetch, ALinkAtTheTargetIsReplacedNotWrittenThrough) {
    LoopbackServer server;
    server.serve("/new", "new program");
    TempDir dir;
    std::string victim = dir.file("victim");
    writeFileBytes(victim, "the user's own file");
    std::string target = dir.file("vantu_update");
    ASSERT_EQ(symlink(victim.c_str(), target.c_str()), 0);
    EXPECT_EQ(fetchToFile(server.url("/new"), target), 1);
    EXPECT_EQ(readFileBytes(victim), "the user's own file");
    EXPECT_EQ(readFileBytes(target), "new program");
}
#endif

}  // namespace
