// HTTP through WinINet.
//
// WinINet's synchronous calls block until the server answers, and the caller must be able to
// stop, pause and time out a transfer at any moment. So each request runs its WinINet calls on a
// thread of its own, which hands the body over in pieces; the calling thread delivers them, polls
// shouldStop and watches the clocks. To end a transfer early it closes the request handle, which
// makes a blocked call return; where a call does not return on that (some WinINet versions only
// give up when the socket's own time-out passes), the transfer thread is left to finish alone and
// touches nothing but the state the two threads share.
// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/http.h"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kMaxRedirects = 10;
constexpr DWORD kPieceBytes = 16 * 1024;
// The transfer thread reads no further while this much body waits for the caller (a paused task
// holds the server back instead of filling the memory).
constexpr size_t kMaxQueuedBytes = 256 * 1024;
// How often the caller looks at shouldStop and the clocks when nothing arrives.
constexpr milliseconds kPollInterval{25};
// Beyond the caller's own stall limit, the time after which WinINet itself gives up a silent
// socket: the caller decides, this only ends a transfer thread that could not be interrupted.
constexpr DWORD kSocketTimeoutMargin = 2000;

// Transfer threads still running, so that the session's end can wait for them.
std::mutex gLiveMutex;
std::condition_variable gLiveChanged;
int gLiveTransfers = 0;

struct InternetHandle {
    HINTERNET handle = nullptr;
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET h) : handle(h) {}
    ~InternetHandle() { reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    void reset(HINTERNET h = nullptr) {
        if (handle) InternetCloseHandle(handle);
        handle = h;
    }
    explicit operator bool() const { return handle != nullptr; }
};

enum class UrlCheck { Http, Https, Refused };

struct CrackedUrl {
    bool secure = false;
    std::string host;
    INTERNET_PORT port = 0;
    std::string object;  // path and query, as given
};

bool schemeIs(const std::string& url, const char* scheme) {
    size_t n = std::char_traits<char>::length(scheme);
    if (url.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

// Splits an http or https URL (https only when `httpsOnly`); false for anything else.
bool crackUrl(const std::string& url, bool httpsOnly, CrackedUrl& out) {
    bool secure = schemeIs(url, "https://");
    if (!secure && (httpsOnly || !schemeIs(url, "http://"))) return false;
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::string path(url.size() + 1, '\0');
    std::string extra(url.size() + 1, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != (secure ? INTERNET_SCHEME_HTTPS : INTERNET_SCHEME_HTTP)) return false;
    if (parts.dwHostNameLength == 0) return false;
    out.secure = secure;
    out.host.assign(host, parts.dwHostNameLength);
    out.port = parts.nPort;
    out.object.assign(path.data(), parts.dwUrlPathLength);
    out.object.append(extra.data(), parts.dwExtraInfoLength);
    size_t fragment = out.object.find('#');
    if (fragment != std::string::npos) out.object.erase(fragment);
    if (out.object.empty() || out.object[0] != '/') out.object.insert(0, "/");
    return true;
}

// `location` of a redirect, made absolute against the URL that answered with it.
std::string resolveLocation(const std::string& base, const std::string& location) {
    DWORD size = static_cast<DWORD>(base.size() + location.size() + 64);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string out(size, '\0');
        DWORD length = size;
        if (InternetCombineUrlA(base.c_str(), location.c_str(), out.data(), &length,
                                ICU_NO_ENCODE)) {
            out.resize(length);
            return out;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        size = length + 1;
    }
    return {};
}

int queryNumber(HINTERNET request, DWORD what, int fallback) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr))
        return fallback;
    return static_cast<int>(value);
}

std::string queryText(HINTERNET request, DWORD what) {
    DWORD size = 1024;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string out(size, '\0');
        DWORD length = size;
        if (HttpQueryInfoA(request, what, out.data(), &length, nullptr)) {
            out.resize(length);
            return out;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        size = length + 1;
    }
    return {};
}

void addHeaders(HINTERNET request, const char* lines) {
    HttpAddRequestHeadersA(request, lines,
                           static_cast<DWORD>(std::char_traits<char>::length(lines)),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What the two threads share. The caller sets `cancelled`; the transfer thread fills the rest.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    // Set by the caller when it gives up; the transfer thread then makes no further call.
    bool cancelled = false;
    // Set by the caller while it is inside shouldStop: no new read starts meanwhile.
    bool held = false;
    HINTERNET request = nullptr;  // the request in progress, for the caller to close

    std::deque<std::string> pieces;
    size_t queuedBytes = 0;
    int64_t moved = 0;  // bytes sent and received so far
    int status = 0;
    bool finished = false;
    HttpOutcome outcome = HttpOutcome::Failed;
};

struct Job {
    std::string url;
    bool post = false;
    std::string body;
    std::string agent;
    bool reload = true;
    bool failOnErrorStatus = false;
    bool httpsOnly = false;
    DWORD connectTimeoutMs = 60000;
    DWORD socketTimeoutMs = 60000;
};

class TransferThread {
  public:
    TransferThread(const Job& job, std::shared_ptr<Shared> shared)
        : job_(job), shared_(std::move(shared)) {}

    void run() {
        HttpOutcome outcome = transfer();
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->request = nullptr;
            shared_->finished = true;
            shared_->outcome = outcome;
        }
        shared_->changed.notify_all();
    }

  private:
    bool cancelled() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->cancelled;
    }

    // Publishes the request handle for the caller to close, or answers false when the caller
    // has already given up.
    bool publish(HINTERNET request) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->cancelled) return false;
        shared_->request = request;
        return true;
    }

    // Takes the request handle back from the caller; false when the caller has closed it.
    bool reclaim() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->request == nullptr) return false;
        shared_->request = nullptr;
        return true;
    }

    void addMoved(int64_t n) {
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->moved += n;
        }
        shared_->changed.notify_all();
    }

    HttpOutcome transfer() {
        InternetHandle root(
            InternetOpenA(job_.agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!root) return HttpOutcome::Failed;
        std::string url = job_.url;
        for (int redirects = 0;; ++redirects) {
            CrackedUrl target;
            if (!crackUrl(url, job_.httpsOnly, target)) return HttpOutcome::Failed;
            InternetHandle connection(InternetConnectA(root.handle, target.host.c_str(),
                                                       target.port, nullptr, nullptr,
                                                       INTERNET_SERVICE_HTTP, 0, 0));
            if (!connection) return HttpOutcome::Failed;
            HINTERNET request = openRequest(connection.handle, target);
            if (request == nullptr) return HttpOutcome::Failed;
            if (!publish(request)) {
                InternetCloseHandle(request);
                return HttpOutcome::Failed;
            }
            bool sent = send(request);
            int status = sent ? queryNumber(request, HTTP_QUERY_STATUS_CODE, 0) : 0;
            {
                std::lock_guard<std::mutex> lock(shared_->mutex);
                shared_->status = status;
            }
            std::string next;
            if (sent && !job_.post && isRedirect(status)) {
                // A redirect without a target is the final answer.
                std::string location = queryText(request, HTTP_QUERY_LOCATION);
                if (!location.empty()) {
                    next = resolveLocation(url, location);
                    if (next.empty() || redirects >= kMaxRedirects) sent = false;
                }
            }
            HttpOutcome outcome = HttpOutcome::Failed;
            if (sent && next.empty()) {
                if (job_.failOnErrorStatus && status >= 400)
                    outcome = HttpOutcome::Failed;
                else
                    outcome = receive(request);
            }
            // Whoever still holds the handle closes it: the caller may have done so already.
            if (reclaim()) InternetCloseHandle(request);
            if (!sent || next.empty()) return outcome;
            if (cancelled()) return HttpOutcome::Failed;
            url = next;
        }
    }

    HINTERNET openRequest(HINTERNET connection, const CrackedUrl& target) {
        // No cookie, cache entry, dialog or automatic redirect: redirects are followed here, so
        // that every target is checked like the first.
        DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_AUTH;
        if (job_.reload) flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE;
        if (target.secure) flags |= INTERNET_FLAG_SECURE;
        const char* accept[] = {"*/*", nullptr};
        HINTERNET request =
            HttpOpenRequestA(connection, job_.post ? "POST" : "GET", target.object.c_str(), nullptr,
                             nullptr, accept, flags, 0);
        if (request == nullptr) return nullptr;
        DWORD connect = job_.connectTimeoutMs;
        DWORD socket = job_.socketTimeoutMs;
        InternetSetOptionA(request, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
        InternetSetOptionA(request, INTERNET_OPTION_SEND_TIMEOUT, &socket, sizeof socket);
        InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &socket, sizeof socket);
        // WinINet keeps connections for the whole process unless the server is told otherwise.
        addHeaders(request, "Connection: close\r\n");
        if (job_.reload) addHeaders(request, "Cache-Control: no-cache\r\nPragma: no-cache\r\n");
        return request;
    }

    bool send(HINTERNET request) {
        if (!job_.post || job_.body.empty()) {
            if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return false;
            if (job_.post) addMoved(0);
            return true;
        }
        // The body goes out in pieces, so that the caller sees it moving and can stop it.
        INTERNET_BUFFERSA buffers{};
        buffers.dwStructSize = sizeof buffers;
        buffers.dwBufferTotal = static_cast<DWORD>(job_.body.size());
        if (!HttpSendRequestExA(request, &buffers, nullptr, 0, 0)) return false;
        size_t done = 0;
        while (done < job_.body.size()) {
            if (cancelled()) return false;
            DWORD chunk =
                static_cast<DWORD>(std::min<size_t>(kPieceBytes, job_.body.size() - done));
            DWORD written = 0;
            if (!InternetWriteFile(request, job_.body.data() + done, chunk, &written) ||
                written == 0)
                return false;
            done += written;
            addMoved(written);
        }
        return HttpEndRequestA(request, nullptr, 0, 0) != FALSE;
    }

    // Waits while the caller holds the transfer or has enough body queued; false when cancelled.
    bool mayRead() {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        shared_->changed.wait(lock, [this] {
            return shared_->cancelled || (!shared_->held && shared_->queuedBytes < kMaxQueuedBytes);
        });
        return !shared_->cancelled;
    }

    HttpOutcome receive(HINTERNET request) {
        // A body cut short ends like a complete one as far as WinINet is concerned; the length
        // the server announced tells them apart.
        bool hasLength = false;
        uint64_t expected = 0;
        {
            char text[32] = {};
            DWORD length = sizeof text - 1;
            if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr)) {
                char* end = nullptr;
                expected = std::strtoull(text, &end, 10);
                hasLength = end != text;
            }
        }
        uint64_t received = 0;
        std::string buffer(kPieceBytes, '\0');
        for (;;) {
            if (!mayRead()) return HttpOutcome::Failed;
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request, &available, 0, 0)) return HttpOutcome::Failed;
            if (available == 0) break;
            DWORD got = 0;
            DWORD want = std::min<DWORD>(available, kPieceBytes);
            if (!InternetReadFile(request, buffer.data(), want, &got)) return HttpOutcome::Failed;
            if (got == 0) break;
            received += got;
            {
                std::lock_guard<std::mutex> lock(shared_->mutex);
                shared_->pieces.emplace_back(buffer.data(), got);
                shared_->queuedBytes += got;
                shared_->moved += got;
            }
            shared_->changed.notify_all();
        }
        if (hasLength && received != expected) return HttpOutcome::Failed;
        return HttpOutcome::Complete;
    }

    Job job_;
    std::shared_ptr<Shared> shared_;
};

// The caller's side of one transfer: clocks and limits, with time spent in shouldStop left out.
class Watch {
  public:
    explicit Watch(const HttpRequest& request) : request_(request) {}

    void pausedFor(SteadyClock::duration paused) {
        started_ += paused;
        lastMove_ += paused;
        windowStart_ += paused;
    }

    // Whether the transfer must end: no byte moved for too long, past the deadline or too slow.
    bool exceeded(int64_t moved) {
        SteadyClock::time_point now = SteadyClock::now();
        if (moved != lastCount_) {
            lastCount_ = moved;
            lastMove_ = now;
        } else if (now - lastMove_ > milliseconds(request_.stallTimeoutMs)) {
            return true;
        }
        if (request_.deadlineMs > 0 && now - started_ > milliseconds(request_.deadlineMs))
            return true;
        if (request_.minBytesPerSecond <= 0) return false;
        auto elapsed = now - windowStart_;
        if (elapsed < milliseconds(request_.minRateWindowMs)) return false;
        double seconds = std::chrono::duration<double>(elapsed).count();
        if (static_cast<double>(moved - windowCount_) <
            seconds * static_cast<double>(request_.minBytesPerSecond))
            return true;
        windowStart_ = now;
        windowCount_ = moved;
        return false;
    }

  private:
    const HttpRequest& request_;
    SteadyClock::time_point started_ = SteadyClock::now();
    SteadyClock::time_point lastMove_ = started_;
    int64_t lastCount_ = 0;
    SteadyClock::time_point windowStart_ = started_;
    int64_t windowCount_ = 0;
};

void cancel(Shared& shared) {
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.cancelled = true;
        if (shared.request) {
            // Makes a blocked call on it return.
            InternetCloseHandle(shared.request);
            shared.request = nullptr;
        }
    }
    shared.changed.notify_all();
}

HttpResponse perform(const std::string& url, const std::string_view* postBody,
                     const HttpRequest& request) {
    HttpResponse response;
    CrackedUrl first;
    // Nothing is sent to a URL the request may not use.
    if (!crackUrl(url, request.httpsOnly, first)) return response;

    Job job;
    job.url = url;
    job.post = postBody != nullptr;
    if (postBody) job.body.assign(postBody->data(), postBody->size());
    job.agent = request.agent;
    job.reload = request.reload;
    job.failOnErrorStatus = request.failOnErrorStatus;
    job.httpsOnly = request.httpsOnly;
    job.connectTimeoutMs = static_cast<DWORD>(std::max(request.connectTimeoutMs, 1));
    job.socketTimeoutMs =
        static_cast<DWORD>(std::max(request.stallTimeoutMs, 1)) + kSocketTimeoutMargin;

    auto shared = std::make_shared<Shared>();
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        ++gLiveTransfers;
    }
    std::thread worker;
    try {
        worker = std::thread([job, shared] {
            TransferThread(job, shared).run();
            {
                std::lock_guard<std::mutex> lock(gLiveMutex);
                --gLiveTransfers;
            }
            gLiveChanged.notify_all();
        });
    } catch (...) {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        --gLiveTransfers;
        return response;
    }

    Watch watch(request);
    HttpOutcome ended = HttpOutcome::Failed;
    bool done = false;
    while (!done) {
        std::deque<std::string> pieces;
        bool finished = false;
        int64_t moved = 0;
        {
            std::unique_lock<std::mutex> lock(shared->mutex);
            shared->changed.wait_for(lock, kPollInterval,
                                     [&] { return shared->finished || !shared->pieces.empty(); });
            pieces.swap(shared->pieces);
            shared->queuedBytes = 0;
            finished = shared->finished;
            moved = shared->moved;
            response.status = shared->status;
            if (finished) ended = shared->outcome;
        }
        shared->changed.notify_all();
        for (const std::string& piece : pieces) {
            if (request.onBody && !request.onBody(piece)) {
                ended = HttpOutcome::Aborted;
                done = true;
                break;
            }
        }
        if (done) break;
        if (finished) break;
        if (request.shouldStop) {
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                shared->held = true;
            }
            SteadyClock::time_point before = SteadyClock::now();
            bool stop = request.shouldStop();
            watch.pausedFor(SteadyClock::now() - before);
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                shared->held = false;
            }
            shared->changed.notify_all();
            if (stop) {
                ended = HttpOutcome::Stopped;
                break;
            }
        }
        if (watch.exceeded(moved)) {
            ended = HttpOutcome::Failed;
            break;
        }
    }

    bool finished = false;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        finished = shared->finished;
    }
    if (finished) {
        worker.join();
    } else {
        cancel(*shared);
        // A transfer thread stuck in a call that closing its handle did not end finishes on its
        // own once WinINet's socket time-out passes; it holds its share of the state.
        worker.detach();
    }
    response.outcome = ended;
    return response;
}

}  // namespace

NetworkSession::NetworkSession() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

NetworkSession::~NetworkSession() {
    {
        // Transfers given up on may still be ending; they get a little while.
        std::unique_lock<std::mutex> lock(gLiveMutex);
        gLiveChanged.wait_for(lock, std::chrono::seconds(5), [] { return gLiveTransfers == 0; });
    }
    if (started_) WSACleanup();
}

HttpResponse httpGet(const std::string& url, const HttpRequest& request) {
    return perform(url, nullptr, request);
}

HttpResponse httpPost(const std::string& url, std::string_view body, const HttpRequest& request) {
    return perform(url, &body, request);
}

}  // namespace platform
