#include "loopback_server.h"

#include <httplib.h>
#ifdef VANTU_LOOPBACK_TLS
#include <openssl/evp.h>
#include <openssl/x509.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

#ifdef VANTU_LOOPBACK_TLS
struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

std::unique_ptr<httplib::Server> selfSignedServer() {
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, CertificateDeleter> certificate(X509_new());
    if (!key || !certificate) return nullptr;
    X509* c = certificate.get();
    X509_set_version(c, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
    X509_gmtime_adj(X509_getm_notBefore(c), -60);
    X509_gmtime_adj(X509_getm_notAfter(c), 3600);
    X509_set_pubkey(c, key.get());
    X509_NAME* name = X509_get_subject_name(c);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(c, name);
    if (X509_sign(c, key.get(), EVP_sha256()) == 0) return nullptr;
    // The server's context takes its own references.
    return std::make_unique<httplib::SSLServer>(c, key.get());
}
#else
// No TLS library in this build (Windows): callers check LoopbackServer::tlsAvailable().
std::unique_ptr<httplib::Server> selfSignedServer() {
    throw std::runtime_error("this build's loopback server has no TLS");
}
#endif

}  // namespace

struct LoopbackServer::State {
    std::unique_ptr<httplib::Server> server;
    bool tls = false;
    std::thread thread;
    int port = 0;
    std::atomic<bool> closing{false};
    mutable std::mutex mutex;
    std::map<std::string, Route> routes;
    std::map<std::string, std::string> locations;  // of the routes that redirect
    std::vector<std::string> uploadReply{"<rbid>1</rbid>"};
    int uploadStatus = 200;
    std::chrono::milliseconds uploadPause{100};
    std::vector<Request> requests;

    void record(const httplib::Request& req) {
        Request r;
        r.method = req.method;
        r.target = req.target;
        for (const auto& [k, v] : req.headers)
            r.headers.emplace(k, v);
        r.body = req.body;
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(std::move(r));
    }

    // Sleeps in small steps so that the server can shut down meanwhile; false when it does.
    bool pause(std::chrono::milliseconds total) {
        auto end = std::chrono::steady_clock::now() + total;
        while (std::chrono::steady_clock::now() < end) {
            if (closing.load()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return !closing.load();
    }

    void answerGet(const httplib::Request& req, httplib::Response& res) {
        record(req);
        Route route;
        std::string location;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = routes.find(req.path);
            if (it == routes.end()) {
                res.status = 404;
                return;
            }
            route = it->second;
            auto redirect = locations.find(req.path);
            if (redirect != locations.end()) location = redirect->second;
        }
        res.status = route.status;
        if (!location.empty()) res.set_header("Location", location);
        switch (route.behaviour) {
            case Behaviour::Normal:
                res.set_content(route.body, "application/octet-stream");
                break;
            case Behaviour::DropMidBody: {
                size_t cut = std::min(route.cut, route.body.size());
                res.set_content_provider(
                    route.body.size(), "application/octet-stream",
                    [body = route.body, cut](size_t offset, size_t, httplib::DataSink& sink) {
                        if (offset >= cut) return false;  // drops the connection
                        sink.write(body.data() + offset, cut - offset);
                        return true;
                    });
                break;
            }
            case Behaviour::SlowBody:
                res.set_content_provider(
                    size_t{1} << 30, "application/octet-stream",
                    [this, interval = route.interval](size_t, size_t, httplib::DataSink& sink) {
                        static const char kPiece[16] = {};
                        return pause(interval) && sink.write(kPiece, sizeof kPiece);
                    });
                break;
            case Behaviour::Silent:
                res.set_content_provider(1000, "application/octet-stream",
                                         [this](size_t, size_t, httplib::DataSink&) {
                                             pause(std::chrono::hours(1));
                                             return false;
                                         });
                break;
            case Behaviour::Mute:
                pause(std::chrono::hours(1));
                break;
        }
    }

    void answerPost(const httplib::Request& req, httplib::Response& res) {
        record(req);
        std::vector<std::string> pieces;
        std::chrono::milliseconds interval;
        {
            std::lock_guard<std::mutex> lock(mutex);
            pieces = uploadReply;
            res.status = uploadStatus;
            interval = uploadPause;
        }
        if (pieces.size() == 1) {
            res.set_content(pieces[0], "text/xml");
            return;
        }
        res.set_chunked_content_provider("text/xml",
                                         [this, pieces, interval](size_t, httplib::DataSink& sink) {
                                             for (const auto& p : pieces) {
                                                 if (!sink.write(p.data(), p.size())) return false;
                                                 if (!pause(interval)) return false;
                                             }
                                             sink.done();
                                             return true;
                                         });
    }
};

std::string LoopbackServer::Request::header(const std::string& name) const {
    for (const auto& [k, v] : headers)
        if (sameName(k, name)) return v;
    return {};
}

bool LoopbackServer::Request::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& kv) { return sameName(kv.first, name); });
}

bool LoopbackServer::tlsAvailable() {
#ifdef VANTU_LOOPBACK_TLS
    return true;
#else
    return false;
#endif
}

LoopbackServer::LoopbackServer(Security security) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.tls = security == Security::SelfSignedTls;
    s.server = s.tls ? selfSignedServer() : std::make_unique<httplib::Server>();
    if (!s.server) throw std::runtime_error("the test server cannot be made");
    s.server->Get(
        ".*", [&s](const httplib::Request& req, httplib::Response& res) { s.answerGet(req, res); });
    s.server->Post(".*", [&s](const httplib::Request& req, httplib::Response& res) {
        s.answerPost(req, res);
    });
    // The library's 5 s socket time-outs are shorter than a 20 MB body takes on a loaded machine
    // under a sanitizer; a test that wants a silent or broken server says so in its route.
    s.server->set_read_timeout(120, 0);
    s.server->set_write_timeout(120, 0);
    s.port = s.server->bind_to_any_port("127.0.0.1");
    // The socket listens from here on; connections wait until the thread accepts them.
    s.thread = std::thread([&s] { s.server->listen_after_bind(); });
}

LoopbackServer::~LoopbackServer() {
    stop();
}

int LoopbackServer::port() const {
    return state_->port;
}

std::string LoopbackServer::hostPort() const {
    return "127.0.0.1:" + std::to_string(state_->port);
}

std::string LoopbackServer::url(const std::string& path) const {
    return (state_->tls ? "https://" : "http://") + hostPort() + path;
}

void LoopbackServer::setRoute(const std::string& path, Route route) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->routes[path] = std::move(route);
    state_->locations.erase(path);
}

void LoopbackServer::redirect(const std::string& path, const std::string& location, int status) {
    Route route;
    route.status = status;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->routes[path] = route;
    state_->locations[path] = location;
}

void LoopbackServer::serve(const std::string& path, std::string body, int status, long truncateAt) {
    Route route;
    route.body = std::move(body);
    route.status = status;
    if (truncateAt >= 0) {
        route.behaviour = Behaviour::DropMidBody;
        route.cut = static_cast<size_t>(truncateAt);
    }
    setRoute(path, std::move(route));
}

void LoopbackServer::setUploadReply(std::vector<std::string> pieces, int status,
                                    std::chrono::milliseconds interval) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->uploadReply = std::move(pieces);
    state_->uploadStatus = status;
    state_->uploadPause = interval;
}

std::vector<LoopbackServer::Request> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->requests;
}

std::vector<LoopbackServer::Request> LoopbackServer::uploads() const {
    std::vector<Request> out;
    for (auto& r : requests())
        if (r.method == "POST") out.push_back(r);
    return out;
}

int LoopbackServer::requestCount(const std::string& path) const {
    int n = 0;
    for (const auto& r : requests())
        if (r.method == "GET" && r.target.substr(0, r.target.find('?')) == path) ++n;
    return n;
}

std::string LoopbackServer::lastAgent(const std::string& path) const {
    std::string agent;
    for (const auto& r : requests())
        if (r.target.substr(0, r.target.find('?')) == path) agent = r.header("User-Agent");
    return agent;
}

void LoopbackServer::stop() {
    if (!state_->thread.joinable()) return;
    state_->closing.store(true);
    // A stop before the accepting loop has started would be lost.
    for (int i = 0; i < 5000 && !state_->server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state_->server->stop();
    state_->thread.join();
}
