#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "platform/http.h"
#include "platform/transfer_watch.h"

namespace platform {

namespace {

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
    Transfer(const HttpRequest& r, CURL* e) : request(r), easy(e), watch(r) {}
    const HttpRequest& request;
    CURL* easy;
    TransferWatch watch;
    bool bodyStarted = false;
    bool stopped = false;
    bool aborted = false;
    char errorText[CURL_ERROR_SIZE] = {};
};

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    if (!t->bodyStarted) {
        t->bodyStarted = true;
        curl_off_t length = -1;
        curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (!t->watch.announced(length)) return 0;
    }
    if (!t->watch.body(n)) return 0;
    if (t->request.onBody && !t->request.onBody(std::string_view(data, n))) {
        t->aborted = true;
        return 0;
    }
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t dlNow, curl_off_t, curl_off_t ulNow) {
    auto* t = static_cast<Transfer*>(user);
    if (t->watch.stopRequested()) {
        t->stopped = true;
        return 1;
    }
    return t->watch.goOn(dlNow + ulNow) ? 0 : 1;
}

// libcurl's own code and text, its detail, and the system's error behind it.
HttpError libraryError(const Transfer& t, CURLcode code) {
    HttpError error;
    error.code = code;
    error.text = curl_easy_strerror(code);
    if (t.errorText[0] != '\0' && error.text != t.errorText)
        error.text += std::string(" (") + t.errorText + ")";
    long osError = 0;
    if (curl_easy_getinfo(t.easy, CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError != 0) {
        error.text += "; errno " + std::to_string(osError) + ": " +
                      std::generic_category().message(static_cast<int>(osError));
    }
    return error;
}

HttpResponse responseOf(const Transfer& t, CURLcode code) {
    HttpResponse response;
    long status = 0;
    if (curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
        response.status = static_cast<int>(status);
    if (code == CURLE_OK) {
        response.outcome = HttpOutcome::Complete;
    } else if (t.stopped) {
        response.outcome = HttpOutcome::Stopped;
    } else if (t.aborted) {
        response.outcome = HttpOutcome::Aborted;
    } else {
        response.outcome = HttpOutcome::Failed;
        response.error = t.watch.error();
        if (response.error.limit == TransferLimit::None) response.error = libraryError(t, code);
    }
    return response;
}

void addHeader(HeaderList& headers, const char* line) {
    curl_slist* grown = curl_slist_append(headers.get(), line);
    if (grown) {
        (void)headers.release();
        headers.reset(grown);
    }
}

void setOptions(Transfer& t, const std::string& url, const std::string_view* postBody,
                HeaderList& headers) {
    CURL* e = t.easy;
    const HttpRequest& request = t.request;
    if (request.reload) {
        addHeader(headers, "Cache-Control: no-cache");
        addHeader(headers, "Pragma: no-cache");
    }
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    const char* protocols = request.httpsOnly ? "https" : "http,https";
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, request.agent.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorText);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
    if (request.failOnErrorStatus) curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    if (postBody) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, postBody->empty() ? "" : postBody->data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody->size()));
        // The body is the raw file: the form type and the continue handshake libcurl would add
        // are not what the server expects.
        addHeader(headers, "Content-Type:");
        addHeader(headers, "Expect:");
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    }
    if (headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
}

HttpResponse perform(const std::string& url, const std::string_view* postBody,
                     const HttpRequest& request) {
    initialiseOnce();
    HttpResponse response;
    Easy easy(curl_easy_init());
    if (!easy) {
        response.error.text = "the HTTP library could not start a transfer";
    } else {
        Transfer transfer(request, easy.get());
        HeaderList headers;
        setOptions(transfer, url, postBody, headers);
        response = responseOf(transfer, curl_easy_perform(easy.get()));
    }
    logHttpFailure(postBody ? "POST" : "GET", url, response);
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
