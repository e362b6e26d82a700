#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A real HTTP server on 127.0.0.1, on a port the system picks, answering from its own threads.
// GETs are answered from the routes a test publishes (404 for any other path), each of which
// can misbehave on demand; every POST is recorded and answered with the configured reply.
class LoopbackServer {
  public:
    enum class Behaviour {
        Normal,       // the body with the route's status
        DropMidBody,  // announces the whole body, sends `cut` bytes, drops the connection
        SlowBody,     // an endless body, one small piece every `interval`
        Silent,       // announces a body and never sends it
        Mute,         // never answers at all, not even with a status line
    };

    struct Route {
        std::string body;
        int status = 200;
        Behaviour behaviour = Behaviour::Normal;
        size_t cut = 0;
        std::chrono::milliseconds interval{20};
    };

    struct Request {
        std::string method;
        std::string target;  // path and query exactly as they arrived
        std::multimap<std::string, std::string> headers;
        std::string body;

        // Header names compare without regard to letter case.
        std::string header(const std::string& name) const;
        bool hasHeader(const std::string& name) const;
    };

    // SelfSignedTls speaks https with a certificate made for the occasion, which no client that
    // checks certificates accepts.
    enum class Security { Plain, SelfSignedTls };
    // Whether this build can serve TLS: not on Windows, where Debian has no TLS library for the
    // cross build.
    static bool tlsAvailable();

    explicit LoopbackServer(Security security = Security::Plain);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const;
    // "127.0.0.1:<port>"
    std::string hostPort() const;
    // "http://127.0.0.1:<port>" + path (https for a TLS server).
    std::string url(const std::string& path) const;

    void setRoute(const std::string& path, Route route);
    // GET path answers `status` with `location` as its Location header, and no body.
    void redirect(const std::string& path, const std::string& location, int status = 302);
    // GET path answers `status` with `body`. With truncateAt set, the reply announces the whole
    // length but the connection is dropped after that many bytes of the body.
    void serve(const std::string& path, std::string body, int status = 200, long truncateAt = -1);
    // The reply to every POST, with `status`, sent in these pieces with `interval` between them
    // (one piece: a plain reply with a length). "<rbid>1</rbid>" with 200 until set.
    void setUploadReply(std::vector<std::string> pieces, int status = 200,
                        std::chrono::milliseconds interval = std::chrono::milliseconds(100));

    // Every request so far, in order of arrival; the POSTs among them.
    std::vector<Request> requests() const;
    std::vector<Request> uploads() const;
    // GET requests for path received so far.
    int requestCount(const std::string& path) const;
    // The User-Agent of the last request for path.
    std::string lastAgent(const std::string& path) const;

    // Stops listening; the port then refuses connections. Also done by the destructor.
    void stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};
