#pragma once

#include <memory>
#include <string>

// A real HTTP server on 127.0.0.1, on a port the system picks, answering from its own threads
// with the bodies a test publishes. Paths not published answer 404.
class LoopbackServer {
  public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const;
    // "http://127.0.0.1:<port>" + path.
    std::string url(const std::string& path) const;

    // GET path answers `status` with `body`. With truncateAt set, the reply announces the whole
    // length but the connection is dropped after that many bytes of the body.
    void serve(const std::string& path, std::string body, int status = 200, long truncateAt = -1);
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
