#include "loopback_server.h"

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

struct Route {
    std::string body;
    int status = 200;
    long truncateAt = -1;
    int requests = 0;
    std::string agent;
};

struct LoopbackServer::State {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::map<std::string, Route> routes;
};

LoopbackServer::LoopbackServer() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.server.Get(".*", [&s](const httplib::Request& request, httplib::Response& response) {
        Route route;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            auto found = s.routes.find(request.path);
            if (found == s.routes.end()) {
                response.status = 404;
                return;
            }
            ++found->second.requests;
            found->second.agent = request.get_header_value("User-Agent");
            route = found->second;
        }
        response.status = route.status;
        if (route.truncateAt < 0) {
            response.set_content(route.body, "application/octet-stream");
            return;
        }
        size_t cut = static_cast<size_t>(route.truncateAt);
        response.set_content_provider(
            route.body.size(), "application/octet-stream",
            [body = route.body, cut](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset >= cut) return false;  // drops the connection
                sink.write(body.data() + offset, cut - offset);
                return true;
            });
    });
    s.port = s.server.bind_to_any_port("127.0.0.1");
    // The socket listens from here on; connections wait until the thread accepts them.
    s.thread = std::thread([&s] { s.server.listen_after_bind(); });
}

LoopbackServer::~LoopbackServer() {
    stop();
}

int LoopbackServer::port() const {
    return state_->port;
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + path;
}

void LoopbackServer::serve(const std::string& path, std::string body, int status, long truncateAt) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    Route& route = state_->routes[path];
    route.body = std::move(body);
    route.status = status;
    route.truncateAt = truncateAt;
}

int LoopbackServer::requestCount(const std::string& path) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto found = state_->routes.find(path);
    return found == state_->routes.end() ? 0 : found->second.requests;
}

std::string LoopbackServer::lastAgent(const std::string& path) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto found = state_->routes.find(path);
    return found == state_->routes.end() ? std::string() : found->second.agent;
}

void LoopbackServer::stop() {
    if (!state_->thread.joinable()) return;
    // A stop before the accepting loop has started would be lost.
    for (int i = 0; i < 5000 && !state_->server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state_->server.stop();
    state_->thread.join();
}
