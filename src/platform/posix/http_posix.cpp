#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "platform/http.h"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Requests made without a NetworkSession (tests, tools) start the library on first use.
void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// State shared with libcurl's callbacks during one transfer.
struct Transfer {
    const HttpRequest& request;
    SteadyClock::time_point started = SteadyClock::now();
    SteadyClock::time_point lastMove = started;
    curl_off_t lastCount = 0;
    // The stretch over which the rate is measured: its start and the count at its start.
    SteadyClock::time_point windowStart = started;
    curl_off_t windowCount = 0;
    bool stopped = false;
    bool aborted = false;
};

// Whether the transfer has run out of time or moves too slowly; `total` bytes so far.
bool outOfTime(Transfer& t, SteadyClock::time_point now, curl_off_t total) {
    const HttpRequest& r = t.request;
    if (r.deadlineMs > 0 && now - t.started > std::chrono::milliseconds(r.deadlineMs)) return true;
    if (r.minBytesPerSecond <= 0) return false;
    auto window = std::chrono::milliseconds(r.minRateWindowMs);
    auto elapsed = now - t.windowStart;
    if (elapsed < window) return false;
    double seconds = std::chrono::duration<double>(elapsed).count();
    if (static_cast<double>(total - t.windowCount) <
        seconds * static_cast<double>(r.minBytesPerSecond))
        return true;
    t.windowStart = now;
    t.windowCount = total;
    return false;
}

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    if (t->request.onBody && !t->request.onBody(std::string_view(data, n))) {
        t->aborted = true;
        return 0;
    }
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t dlNow, curl_off_t, curl_off_t ulNow) {
    auto* t = static_cast<Transfer*>(user);
    if (t->request.shouldStop) {
        SteadyClock::time_point before = SteadyClock::now();
        bool stop = t->request.shouldStop();
        // A pause inside the predicate is not the server's silence, nor its slowness.
        SteadyClock::duration paused = SteadyClock::now() - before;
        t->lastMove += paused;
        t->started += paused;
        t->windowStart += paused;
        if (stop) {
            t->stopped = true;
            return 1;
        }
    }
    SteadyClock::time_point now = SteadyClock::now();
    if (dlNow + ulNow != t->lastCount) {
        t->lastCount = dlNow + ulNow;
        t->lastMove = now;
    } else if (now - t->lastMove > std::chrono::milliseconds(t->request.stallTimeoutMs)) {
        return 1;
    }
    return outOfTime(*t, now, dlNow + ulNow) ? 1 : 0;
}

HttpResponse perform(const std::string& url, const std::string_view* postBody,
                     const HttpRequest& request) {
    initialiseOnce();
    HttpResponse response;
    Easy easy(curl_easy_init());
    if (!easy) return response;
    CURL* e = easy.get();
    Transfer transfer{request};

    HeaderList headers;
    auto addHeader = [&headers](const char* line) {
        curl_slist* grown = curl_slist_append(headers.get(), line);
        if (grown) {
            (void)headers.release();
            headers.reset(grown);
        }
    };
    if (request.reload) {
        addHeader("Cache-Control: no-cache");
        addHeader("Pragma: no-cache");
    }

    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    const char* protocols = request.httpsOnly ? "https" : "http,https";
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, request.agent.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
    if (request.failOnErrorStatus) curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    if (postBody) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, postBody->empty() ? "" : postBody->data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody->size()));
        // The body is the raw file: the form type and the continue handshake libcurl would add
        // are not what the server expects.
        addHeader("Content-Type:");
        addHeader("Expect:");
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    }
    if (headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());

    CURLcode code = curl_easy_perform(e);
    long status = 0;
    if (curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
        response.status = static_cast<int>(status);
    if (code == CURLE_OK)
        response.outcome = HttpOutcome::Complete;
    else if (transfer.stopped)
        response.outcome = HttpOutcome::Stopped;
    else if (transfer.aborted)
        response.outcome = HttpOutcome::Aborted;
    else
        response.outcome = HttpOutcome::Failed;
    return response;
}

}  // namespace

NetworkSession::NetworkSession() : started_(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

NetworkSession::~NetworkSession() {
    if (started_) curl_global_cleanup();
}

HttpResponse httpGet(const std::string& url, const HttpRequest& request) {
    return perform(url, nullptr, request);
}

HttpResponse httpPost(const std::string& url, std::string_view body, const HttpRequest& request) {
    return perform(url, &body, request);
}

}  // namespace platform
