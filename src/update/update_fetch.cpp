#include "update/update_fetch.h"

#include <string_view>

#include "platform/files.h"
#include "platform/http.h"

namespace {

int milliseconds(std::chrono::milliseconds value) {
    return static_cast<int>(value.count());
}

platform::HttpRequest updateRequest(const FetchLimits& limits) {
    platform::HttpRequest request;
    request.agent = "Hello";
    request.reload = true;
    // An error page is neither a manifest nor a program.
    request.failOnErrorStatus = true;
    request.connectTimeoutMs = milliseconds(limits.connectTimeout);
    request.stallTimeoutMs = milliseconds(limits.stallTimeout);
    request.deadlineMs = milliseconds(limits.deadline);
    request.minBytesPerSecond = limits.minBytesPerSecond;
    request.minRateWindowMs = milliseconds(limits.rateWindow);
    request.maxBodyBytes = limits.maxBytes;
    request.httpsOnly = limits.httpsOnly;
    request.shouldStop = limits.shouldStop;
    return request;
}

bool completed(const platform::HttpResponse& response) {
    return response.outcome == platform::HttpOutcome::Complete && response.status < 400;
}

}  // namespace

FetchLimits manifestFetchLimits() {
    FetchLimits limits;
    limits.deadline = std::chrono::seconds(30);
    // Far above any manifest; a server sending more is not answered with the program's memory.
    limits.maxBytes = 1024 * 1024;
    return limits;
}

FetchLimits programFetchLimits() {
    FetchLimits limits;
    limits.deadline = std::chrono::minutes(30);
    limits.minBytesPerSecond = 1024;
    limits.rateWindow = std::chrono::seconds(60);
    limits.maxBytes = 64 * 1024 * 1024;
    return limits;
}

std::string fetchText(const std::string& url, const FetchLimits& limits) {
    std::string body;
    platform::HttpRequest request = updateRequest(limits);
    request.onBody = [&body](std::string_view piece) {
        body.append(piece);
        return true;
    };
    if (!completed(platform::httpGet(url, request))) return {};
    return body;
}

int fetchToFile(const std::string& url, const std::string& path, const FetchLimits& limits) {
    platform::deleteFile(path);
    platform::File file;
    auto fileReady = [&file, &path] {
        return file.isOpen() || file.open(path, platform::OpenMode::CreateNew);
    };
    platform::HttpRequest request = updateRequest(limits);
    // Created with the first piece, so that an unreachable URL leaves no file behind.
    request.onBody = [&](std::string_view piece) {
        return fileReady() && file.write(piece.data(), piece.size());
    };
    bool whole = completed(platform::httpGet(url, request)) && fileReady();
    file.close();
    if (whole) return 1;
    // Part of a program is no program.
    platform::deleteFile(path);
    return 0;
}
