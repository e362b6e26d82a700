#include "platform/transfer_watch.h"

#include <utility>

#include "platform/log.h"

namespace platform {

namespace {

using std::chrono::milliseconds;

std::string duration(int ms) {
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

// The address as the log may show it: an upload's query carries the account's token, and a
// user name or password may stand before the host.
std::string addressForLog(const std::string& url) {
    size_t scheme = url.find("://");
    size_t host = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end = url.find_first_of("?#", host);
    std::string shown = url.substr(0, end);
    size_t path = shown.find('/', host);
    size_t at = shown.rfind('@', path);
    if (at != std::string::npos && at >= host) shown.erase(host, at + 1 - host);
    return shown;
}

}  // namespace

TransferWatch::TransferWatch(const HttpRequest& request, Now now)
    : request_(request),
      now_(std::move(now)),
      started_(now_()),
      lastMove_(started_),
      windowStart_(started_) {}

bool TransferWatch::stopRequested() {
    if (!request_.shouldStop) return false;
    Clock::time_point before = now_();
    bool stop = request_.shouldStop();
    Clock::duration paused = now_() - before;
    started_ += paused;
    lastMove_ += paused;
    windowStart_ += paused;
    return stop;
}

bool TransferWatch::announced(int64_t length) {
    if (length < 0 || request_.maxBodyBytes <= 0 || length <= request_.maxBodyBytes) return true;
    announced_ = length;
    ended_ = TransferLimit::BodySize;
    return false;
}

bool TransferWatch::body(size_t bytes) {
    bodyBytes_ += bytes;
    if (request_.maxBodyBytes <= 0 || bodyBytes_ <= static_cast<uint64_t>(request_.maxBodyBytes))
        return true;
    ended_ = TransferLimit::BodySize;
    return false;
}

bool TransferWatch::goOn(int64_t moved) {
    Clock::time_point now = now_();
    if (moved != lastCount_) {
        lastCount_ = moved;
        lastMove_ = now;
    } else if (now - lastMove_ > milliseconds(request_.stallTimeoutMs)) {
        ended_ = TransferLimit::Stall;
        return false;
    }
    if (request_.deadlineMs > 0 && now - started_ > milliseconds(request_.deadlineMs)) {
        ended_ = TransferLimit::Deadline;
        return false;
    }
    if (request_.minBytesPerSecond <= 0) return true;
    auto elapsed = now - windowStart_;
    if (elapsed < milliseconds(request_.minRateWindowMs)) return true;
    double seconds = std::chrono::duration<double>(elapsed).count();
    if (static_cast<double>(moved - windowCount_) <
        seconds * static_cast<double>(request_.minBytesPerSecond)) {
        ended_ = TransferLimit::MinimumRate;
        return false;
    }
    windowStart_ = now;
    windowCount_ = moved;
    return true;
}

HttpError TransferWatch::error() const {
    HttpError error;
    error.limit = ended_;
    const HttpRequest& r = request_;
    switch (ended_) {
        case TransferLimit::None:
            break;
        case TransferLimit::Stall:
            error.text = "nothing moved for " + duration(r.stallTimeoutMs);
            break;
        case TransferLimit::Deadline:
            error.text = "not done within " + duration(r.deadlineMs);
            break;
        case TransferLimit::MinimumRate:
            error.text = "slower than " + std::to_string(r.minBytesPerSecond) +
                         " bytes a second over " + duration(r.minRateWindowMs);
            break;
        case TransferLimit::BodySize:
            error.text = "a body of more than " + std::to_string(r.maxBodyBytes) + " bytes";
            if (announced_ >= 0) error.text += " (" + std::to_string(announced_) + " announced)";
            break;
    }
    return error;
}

void logHttpFailure(std::string_view method, const std::string& url, const HttpResponse& response) {
    bool failed = response.outcome == HttpOutcome::Failed ||
                  (response.outcome == HttpOutcome::Complete && response.status >= 400);
    if (!failed) return;
    const HttpError& e = response.error;
    std::string cause;
    if (e.limit != TransferLimit::None)
        cause = e.text;
    else if (response.status >= 400)
        cause = "status " + std::to_string(response.status);
    else if (e.code != 0)
        cause = "error " + std::to_string(e.code) + (e.text.empty() ? "" : ": " + e.text);
    else
        cause = e.text.empty() ? "no response" : e.text;
    logLine("HTTP " + std::string(method) + " " + addressForLog(url) + " failed: " + cause);
}

}  // namespace platform
