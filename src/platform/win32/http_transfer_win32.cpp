// The transfer thread of an HTTP request through WinINet: every WinINet call of a transfer, the
// request, its redirects (each checked like the first) and the body in pieces for the caller.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/http_url.h"
#include "platform/win32/http_transfer_win32.h"

namespace platform::win32 {

namespace {

constexpr int kMaxRedirects = 10;
constexpr DWORD kPieceBytes = 16 * 1024;
// The transfer thread reads no further while this much body waits for the caller (a paused task
// holds the server back instead of filling the memory).
constexpr size_t kMaxQueuedBytes = 256 * 1024;

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
        std::optional<HttpTarget> target = parseHttpUrl(url, job_.httpsOnly);
        if (!target) return failed(kRefusedAddress);
        InternetHandle connection(InternetConnectA(root, target->host.c_str(), target->port,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) return callFailed();
        HINTERNET request = openRequest(connection.handle, *target);
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

    HINTERNET openRequest(HINTERNET connection, const HttpTarget& target) {
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

}  // namespace

void runTransfer(const Job& job, std::shared_ptr<Shared> shared) {
    TransferThread(job, std::move(shared)).run();
}

}  // namespace platform::win32
