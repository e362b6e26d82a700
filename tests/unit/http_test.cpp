#include "platform/http.h"

#include <gtest/gtest.h>

#include <chrono>

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

Fetched get(const std::string& url, platform::HttpRequest request) {
    Fetched out;
    request.onBody = [&out](std::string_view piece) {
        out.body.append(piece);
        return true;
    };
    auto start = std::chrono::steady_clock::now();
    out.response = platform::httpGet(url, request);
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return out;
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
        Fetched got = get(server.url(c.path), request);
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
    } cases[] = {
        {"stall", 400, 0, 0, HttpOutcome::Failed},
        {"deadline", 30000, 400, 0, HttpOutcome::Failed},
        {"stop", 30000, 0, 300, HttpOutcome::Stopped},
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
        Fetched got = get(server.url("/mute"), request);
        EXPECT_EQ(got.response.outcome, c.outcome);
        EXPECT_EQ(got.response.status, 0);
        EXPECT_LT(got.took, 5s);
    }
}

// A body cut short is a failure, though the connection ended in an orderly way.
TEST(Http, ABodyCutShortFails) {
    LoopbackServer server;
    server.serve("/cut", std::string(5000, 'x'), 200, 1200);
    platform::HttpRequest request;
    request.agent = "Hello";
    Fetched got = get(server.url("/cut"), request);
    EXPECT_EQ(got.response.outcome, HttpOutcome::Failed);
    EXPECT_LE(got.body.size(), 1200u);
}

}  // namespace
