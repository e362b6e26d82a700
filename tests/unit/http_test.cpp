#include "platform/http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/log.h"

#include "support/loopback_server.h"

namespace {

using namespace std::chrono_literals;
using Behaviour = LoopbackServer::Behaviour;
using platform::HttpOutcome;

struct Fetched {
    platform::HttpResponse response;
    std::string body;
    std::chrono::milliseconds took{};
};

// A GET, or a POST of `postBody` when there is one.
Fetched fetch(const std::string& url, platform::HttpRequest request,
              const char* postBody = nullptr) {
    Fetched out;
    request.onBody = [&out](std::string_view piece) {
        out.body.append(piece);
        return true;
    };
    auto start = std::chrono::steady_clock::now();
    out.response =
        postBody ? platform::httpPost(url, postBody, request) : platform::httpGet(url, request);
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return out;
}

// The log lines written while it lives.
struct LogCapture {
    LogCapture() {
        platform::setLogHandler([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~LogCapture() { platform::setLogHandler(nullptr); }
    std::vector<std::string> lines;
};

// Expects one log line that names the address and `cause`, or none when `cause` is null.
void expectLogged(const std::vector<std::string>& lines, const std::string& address,
                  const char* cause) {
    if (cause == nullptr) {
        EXPECT_TRUE(lines.empty()) << lines.front();
        return;
    }
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(address), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(cause), std::string::npos) << lines[0];
}

// Redirects are followed to http and https targets only, a bounded number of times.
TEST(Http, Redirects) {
    LoopbackServer server;
    server.serve("/target", "the body");
    server.redirect("/relative", "/target");
    server.redirect("/absolute", server.url("/target"), 301);
    server.redirect("/twice", "/relative", 307);
    server.redirect("/to-file", "file:///etc/hostname");
    server.redirect("/to-ftp", "ftp://127.0.0.1/target");
    server.redirect("/loop", "/loop");
    struct Case {
        const char* path;
        HttpOutcome outcome;
        std::string body;
    } cases[] = {
        {"/relative", HttpOutcome::Complete, "the body"},
        {"/absolute", HttpOutcome::Complete, "the body"},
        {"/twice", HttpOutcome::Complete, "the body"},
        {"/to-file", HttpOutcome::Failed, ""},
        {"/to-ftp", HttpOutcome::Failed, ""},
        {"/loop", HttpOutcome::Failed, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        platform::HttpRequest request;
        request.agent = "Hello";
        request.failOnErrorStatus = true;
        Fetched got = fetch(server.url(c.path), request);
        EXPECT_EQ(got.response.outcome, c.outcome);
        EXPECT_EQ(got.body, c.body);
        if (c.outcome == HttpOutcome::Complete) {
            EXPECT_EQ(got.response.status, 200);
        }
    }
    EXPECT_LE(server.requestCount("/loop"), 12);
}

// A server that takes the request and never answers: the limits and the stop request work
// before any byte of the reply has come.
TEST(Http, AServerThatNeverAnswers) {
    LoopbackServer server;
    LoopbackServer::Route mute;
    mute.behaviour = Behaviour::Mute;
    server.setRoute("/mute", mute);
    struct Case {
        const char* label;
        int stallMs;
        int deadlineMs;
        int stopAfterMs;
        HttpOutcome outcome;
        const char* logged;  // the cause the log names; null for no line
    } cases[] = {
        {"stall", 400, 0, 0, HttpOutcome::Failed, "nothing moved for 400 ms"},
        {"deadline", 30000, 400, 0, HttpOutcome::Failed, "not done within 400 ms"},
        {"stop", 30000, 0, 300, HttpOutcome::Stopped, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        platform::HttpRequest request;
        request.agent = "Hello";
        request.stallTimeoutMs = c.stallMs;
        request.deadlineMs = c.deadlineMs;
        auto start = std::chrono::steady_clock::now();
        if (c.stopAfterMs > 0)
            request.shouldStop = [&] {
                return std::chrono::steady_clock::now() - start >
                       std::chrono::milliseconds(c.stopAfterMs);
            };
        LogCapture log;
        Fetched got = fetch(server.url("/mute"), request);
        EXPECT_EQ(got.response.outcome, c.outcome);
        EXPECT_EQ(got.response.status, 0);
        EXPECT_LT(got.took, 5s);
        expectLogged(log.lines, server.url("/mute"), c.logged);
    }
}

// A body over the cap is refused, before it arrives when its length is announced; a failed
// request's log line names its address, without the query and its secrets, and the cause.
TEST(Http, AFailureIsLoggedWithItsCause) {
    LoopbackServer server;
    server.serve("/big", std::string(5000, 'b'));
    // Pieces without an announced length.
    server.setUploadReply({std::string(60, 'r'), std::string(60, 'r')}, 200, 1ms);
    struct Case {
        const char* label;
        std::string url;
        const char* postBody;
        int64_t maxBody;
        HttpOutcome outcome;
        size_t bodyAtMost;
        const char* logged;
    } cases[] = {
        {"within the cap", server.url("/big"), nullptr, 5000, HttpOutcome::Complete, 5000, nullptr},
        {"announced over the cap", server.url("/big?token=secret"), nullptr, 4999,
         HttpOutcome::Failed, 0, "(5000 announced)"},
        {"reply growing over the cap", server.url("/upload?fname=secret"), "package", 100,
         HttpOutcome::Failed, 100, "more than 100 bytes"},
        {"error status", server.url("/missing?token=secret"), nullptr, 0, HttpOutcome::Failed, 0,
         "status 404"},
#ifdef _WIN32
        {"refused connection", "http://127.0.0.1:1/closed", nullptr, 0, HttpOutcome::Failed, 0,
         "error 12029"},
#else
        {"refused connection", "http://127.0.0.1:1/closed", nullptr, 0, HttpOutcome::Failed, 0,
         "error 7: Couldn't connect to server"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        platform::HttpRequest request;
        request.agent = "Hello";
        request.failOnErrorStatus = true;
        request.maxBodyBytes = c.maxBody;
        LogCapture log;
        Fetched got = fetch(c.url, request, c.postBody);
        EXPECT_EQ(got.response.outcome, c.outcome);
        EXPECT_LE(got.body.size(), c.bodyAtMost);
        expectLogged(log.lines, c.url.substr(0, c.url.find('?')), c.logged);
        for (const std::string& line : log.lines)
            EXPECT_EQ(line.find("secret"), std::string::npos) << line;
    }
}

// A body cut short is a failure, though the connection ended in an orderly way.
TEST(Http, ABodyCutShortFails) {
    LoopbackServer server;
    server.serve("/cut", std::string(5000, 'x'), 200, 1200);
    platform::HttpRequest request;
    request.agent = "Hello";
    Fetched got = fetch(server.url("/cut"), request);
    EXPECT_EQ(got.response.outcome, HttpOutcome::Failed);
    EXPECT_LE(got.body.size(), 1200u);
}

}  // namespace
