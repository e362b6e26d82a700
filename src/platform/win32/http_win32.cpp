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
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/http.h"
#include "platform/transfer_watch.h"

namespace platform {

namespace {

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

constexpr const char* kRefusedAddress = "an address the request may not use";

// The system's code with its text: WinINet's own codes from its message table, its extended
// error from the server's last words.
HttpError systemError(DWORD code) {
    HttpError error;
    error.code = static_cast<long>(code);
    char text[512] = {};
    DWORD length = sizeof text;
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD detail = 0;
        if (!InternetGetLastResponseInfoA(&detail, text, &length)) length = 0;
    } else {
        bool own = code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST;
        DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
        if (own) flags |= FORMAT_MESSAGE_FROM_HMODULE;
        length = FormatMessageA(flags, own ? GetModuleHandleA("wininet.dll") : nullptr, code, 0,
                                text, sizeof text, nullptr);
    }
    error.text.assign(text, std::min<DWORD>(length, sizeof text));
    while (!error.text.empty() && std::strchr("\r\n .", error.text.back()) != nullptr)
        error.text.pop_back();
    return error;
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
    // The final response's announced body length, set before its first piece; -1 for none.
    int64_t announced = -1;
    bool finished = false;
    HttpOutcome outcome = HttpOutcome::Failed;
    HttpError error;  // why the transfer failed, when it did
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
            shared_->error = error_;
        }
        shared_->changed.notify_all();
    }

  private:
    bool cancelled() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->cancelled;
    }

    // Keeps the cause of a failure for the caller's log.
    HttpOutcome failed(std::string text) {
        error_.text = std::move(text);
        return HttpOutcome::Failed;
    }
    // The same for the WinINet call that has just failed.
    HttpOutcome callFailed() {
        error_ = systemError(GetLastError());
        return HttpOutcome::Failed;
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
        if (!root) return callFailed();
        std::string url = job_.url;
        for (int redirects = 0;; ++redirects) {
            std::string next;
            HttpOutcome outcome = exchange(root.handle, url, redirects, next);
            if (next.empty()) return outcome;
            if (cancelled()) return HttpOutcome::Failed;
            url = next;
        }
    }

    // One request to `url`: its outcome, or the address it redirects to in `next`.
    HttpOutcome exchange(HINTERNET root, const std::string& url, int redirects, std::string& next) {
        CrackedUrl target;
        if (!crackUrl(url, job_.httpsOnly, target)) return failed(kRefusedAddress);
        InternetHandle connection(InternetConnectA(root, target.host.c_str(), target.port, nullptr,
                                                   nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) return callFailed();
        HINTERNET request = openRequest(connection.handle, target);
        if (request == nullptr) return callFailed();
        if (!publish(request)) {
            InternetCloseHandle(request);
            return HttpOutcome::Failed;
        }
        bool sent = send(request);
        HttpOutcome outcome = sent ? HttpOutcome::Failed : callFailed();
        int status = sent ? queryNumber(request, HTTP_QUERY_STATUS_CODE, 0) : 0;
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->status = status;
        }
        if (sent) outcome = answer(request, status, url, redirects, next);
        // Whoever still holds the handle closes it: the caller may have done so already.
        if (reclaim()) InternetCloseHandle(request);
        return outcome;
    }

    // The answer to a request sent: its body, or the address it redirects to in `next`.
    HttpOutcome answer(HINTERNET request, int status, const std::string& url, int redirects,
                       std::string& next) {
        std::string location;
        if (!job_.post && isRedirect(status)) location = queryText(request, HTTP_QUERY_LOCATION);
        // A redirect without a target is the final answer.
        if (!location.empty()) {
            if (redirects >= kMaxRedirects) return failed("too many redirects");
            next = resolveLocation(url, location);
            return next.empty() ? failed("a redirect that cannot be followed")
                                : HttpOutcome::Complete;
        }
        if (job_.failOnErrorStatus && status >= 400) return HttpOutcome::Failed;
        return receive(request);
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

    // The body length the server announced, published for the caller's watch; -1 for none.
    int64_t announce(HINTERNET request) {
        char text[32] = {};
        DWORD length = sizeof text - 1;
        int64_t announced = -1;
        if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr)) {
            char* end = nullptr;
            uint64_t value = std::strtoull(text, &end, 10);
            if (end != text) announced = static_cast<int64_t>(std::min<uint64_t>(value, INT64_MAX));
        }
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->announced = announced;
        return announced;
    }

    void hand(const char* data, DWORD size) {
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->pieces.emplace_back(data, size);
            shared_->queuedBytes += size;
            shared_->moved += size;
        }
        shared_->changed.notify_all();
    }

    HttpOutcome receive(HINTERNET request) {
        // A body cut short ends like a complete one as far as WinINet is concerned; the length
        // the server announced tells them apart.
        int64_t expected = announce(request);
        int64_t received = 0;
        std::string buffer(kPieceBytes, '\0');
        for (;;) {
            if (!mayRead()) return HttpOutcome::Failed;
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request, &available, 0, 0)) return callFailed();
            if (available == 0) break;
            DWORD got = 0;
            DWORD want = std::min<DWORD>(available, kPieceBytes);
            if (!InternetReadFile(request, buffer.data(), want, &got)) return callFailed();
            if (got == 0) break;
            received += got;
            hand(buffer.data(), got);
        }
        if (expected >= 0 && received != expected)
            return failed("the body ended after " + std::to_string(received) + " of " +
                          std::to_string(expected) + " bytes");
        return HttpOutcome::Complete;
    }

    Job job_;
    std::shared_ptr<Shared> shared_;
    HttpError error_;
};

// Counts transfer threads so that the session's end can wait for them; false when none starts.
bool startThread(const Job& job, const std::shared_ptr<Shared>& shared, std::thread& worker) {
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        ++gLiveTransfers;
    }
    try {
        worker = std::thread([job, shared] {
            TransferThread(job, shared).run();
            {
                std::lock_guard<std::mutex> lock(gLiveMutex);
                --gLiveTransfers;
            }
            gLiveChanged.notify_all();
        });
        return true;
    } catch (...) {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        --gLiveTransfers;
        return false;
    }
}

Job makeJob(const std::string& url, const std::string_view* postBody, const HttpRequest& request) {
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
    return job;
}

// The caller's side of one transfer: delivers the body, asks shouldStop and the watch.
class Caller {
  public:
    Caller(const HttpRequest& request, Shared& shared)
        : request_(request), shared_(shared), watch_(request) {}

    HttpResponse run() {
        HttpResponse response;
        for (;;) {
            Turn turn = take();
            response.status = turn.status;
            if (!watch_.announced(turn.announced)) return ended(response, HttpOutcome::Failed);
            HttpOutcome delivered = deliver(turn.pieces);
            if (delivered != HttpOutcome::Complete) return ended(response, delivered);
            if (turn.finished) {
                response.outcome = turn.outcome;
                response.error = turn.error;
                return response;
            }
            if (stopRequested()) return ended(response, HttpOutcome::Stopped);
            if (!watch_.goOn(turn.moved)) return ended(response, HttpOutcome::Failed);
        }
    }

  private:
    // What the transfer thread has done since the caller last looked.
    struct Turn {
        std::deque<std::string> pieces;
        int64_t moved = 0;
        int status = 0;
        int64_t announced = -1;
        bool finished = false;
        HttpOutcome outcome = HttpOutcome::Failed;
        HttpError error;
    };

    Turn take() {
        Turn turn;
        {
            std::unique_lock<std::mutex> lock(shared_.mutex);
            shared_.changed.wait_for(lock, kPollInterval,
                                     [&] { return shared_.finished || !shared_.pieces.empty(); });
            turn.pieces.swap(shared_.pieces);
            shared_.queuedBytes = 0;
            turn.moved = shared_.moved;
            turn.status = shared_.status;
            turn.announced = shared_.announced;
            turn.finished = shared_.finished;
            turn.outcome = shared_.outcome;
            turn.error = shared_.error;
        }
        shared_.changed.notify_all();
        return turn;
    }

    // Complete when every piece was taken; Failed over the size cap, Aborted when onBody refused.
    HttpOutcome deliver(const std::deque<std::string>& pieces) {
        for (const std::string& piece : pieces) {
            if (!watch_.body(piece.size())) return HttpOutcome::Failed;
            if (request_.onBody && !request_.onBody(piece)) return HttpOutcome::Aborted;
        }
        return HttpOutcome::Complete;
    }

    // No new read starts while the caller is inside shouldStop.
    bool stopRequested() {
        setHeld(true);
        bool stop = watch_.stopRequested();
        setHeld(false);
        return stop;
    }

    void setHeld(bool held) {
        {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            shared_.held = held;
        }
        shared_.changed.notify_all();
    }

    HttpResponse& ended(HttpResponse& response, HttpOutcome outcome) {
        response.outcome = outcome;
        if (outcome == HttpOutcome::Failed) response.error = watch_.error();
        return response;
    }

    const HttpRequest& request_;
    Shared& shared_;
    TransferWatch watch_;
};

// Joins a transfer thread that has finished; cancels and leaves one that has not.
void finish(std::thread& worker, Shared& shared) {
    bool finished = false;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        finished = shared.finished;
        if (!finished) {
            shared.cancelled = true;
            // Makes a blocked call on it return.
            if (shared.request) InternetCloseHandle(shared.request);
            shared.request = nullptr;
        }
    }
    shared.changed.notify_all();
    if (finished) {
        worker.join();
    } else {
        // A transfer thread stuck in a call that closing its handle did not end finishes on its
        // own once WinINet's socket time-out passes; it holds its share of the state.
        worker.detach();
    }
}

HttpResponse perform(const std::string& url, const std::string_view* postBody,
                     const HttpRequest& request) {
    HttpResponse response;
    CrackedUrl first;
    auto shared = std::make_shared<Shared>();
    std::thread worker;
    // Nothing is sent to a URL the request may not use.
    if (!crackUrl(url, request.httpsOnly, first)) {
        response.error.text = kRefusedAddress;
    } else if (!startThread(makeJob(url, postBody, request), shared, worker)) {
        response.error.text = "no thread for the transfer";
    } else {
        response = Caller(request, *shared).run();
        finish(worker, *shared);
    }
    logHttpFailure(postBody ? "POST" : "GET", url, response);
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
