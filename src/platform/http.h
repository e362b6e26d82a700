#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// HTTP requests as the program makes them (WinINet on Windows, libcurl elsewhere). Each call is
// self-contained: no connection, cookie or cache entry outlives it, and the system's proxy
// settings apply (on POSIX the usual proxy environment variables). Only http and https URLs are
// followed.
namespace platform {

struct HttpRequest {
    std::string agent;  // User-Agent
    // Asks every cache on the way for a fresh copy.
    bool reload = true;
    // A final status of 400 or more ends the transfer without delivering its body.
    bool failOnErrorStatus = false;
    // Each piece of the response body as it arrives; false ends the transfer (Aborted).
    std::function<bool(std::string_view)> onBody;
    // Polled during the whole transfer (connecting, sending, waiting, receiving); true ends it
    // (Stopped). It may block, for instance while a task is paused: time spent in it does not
    // count as a stall.
    std::function<bool()> shouldStop;
    int connectTimeoutMs = 60000;
    // No byte moving in either direction for this long ends the transfer (Failed).
    int stallTimeoutMs = 30000;
    // The whole transfer (time spent in shouldStop aside) may take at most this long; 0 for no
    // limit (Failed).
    int deadlineMs = 0;
    // Fewer bytes than this per second, averaged over each stretch of minRateWindowMs, end the
    // transfer (Failed): a server that trickles is no better than a silent one. 0 for no limit.
    int64_t minBytesPerSecond = 0;
    int minRateWindowMs = 60000;
    // A response body longer than this ends the transfer (Failed), one announced as longer before
    // any of it is delivered; 0 for no limit.
    int64_t maxBodyBytes = 0;
    // Only https, redirects included.
    bool httpsOnly = false;
};

// The network layer's lifetime (the socket layer on Windows, the HTTP library's global state
// elsewhere): one object, made by the program before its first request and destroyed after its
// last one has ended, that is after the task thread has finished.
class NetworkSession {
  public:
    NetworkSession();
    ~NetworkSession();
    NetworkSession(const NetworkSession&) = delete;
    NetworkSession& operator=(const NetworkSession&) = delete;
    // False when the network layer could not start; requests then fail.
    bool started() const { return started_; }

  private:
    bool started_ = false;
};

enum class HttpOutcome { Complete, Stopped, Aborted, Failed };

// The request's limit that ended a transfer (see TransferWatch).
enum class TransferLimit { None, Stall, Deadline, MinimumRate, BodySize };

// Why a transfer failed, for the log and for callers that tell causes apart.
struct HttpError {
    TransferLimit limit = TransferLimit::None;
    // Otherwise the HTTP library's or the system's error code (0 for none) ...
    long code = 0;
    // ... and the limit or the code in words.
    std::string text;
};

struct HttpResponse {
    HttpOutcome outcome = HttpOutcome::Failed;
    int status = 0;  // the final HTTP status; 0 when no response arrived
    HttpError error;
};

// A failed request (Failed, or a final status of 400 or more) is written to the program's log
// with its address, less any query, and its cause.
//
// GET, following redirects.
HttpResponse httpGet(const std::string& url, const HttpRequest& request);
// POST with `body` as the raw request body: no Content-Type and no "Expect: 100-continue" of
// the transport's own. Redirects are not followed.
HttpResponse httpPost(const std::string& url, std::string_view body, const HttpRequest& request);

}  // namespace platform
