#include "update/update_fetch.h"

#include <string_view>

#include "platform/files.h"
#include "platform/http.h"

namespace {

// Far above any manifest; a server sending more is not answered with the program's memory.
constexpr size_t kMaxTextBytes = 1024 * 1024;

platform::HttpRequest updateRequest() {
    platform::HttpRequest request;
    request.agent = "Hello";
    request.reload = true;
    // An error page is neither a manifest nor a program.
    request.failOnErrorStatus = true;
    return request;
}

bool completed(const platform::HttpResponse& response) {
    return response.outcome == platform::HttpOutcome::Complete && response.status < 400;
}

}  // namespace

std::string fetchText(const std::string& url) {
    std::string body;
    platform::HttpRequest request = updateRequest();
    request.onBody = [&body](std::string_view piece) {
        if (piece.size() > kMaxTextBytes - body.size()) return false;
        body.append(piece);
        return true;
    };
    if (!completed(platform::httpGet(url, request))) return {};
    return body;
}

int fetchToFile(const std::string& url, const std::string& path) {
    platform::File file;
    auto fileReady = [&file, &path] {
        return file.isOpen() || file.open(path, platform::OpenMode::CreateAlways);
    };
    platform::HttpRequest request = updateRequest();
    // Created with the first piece, so that an unreachable URL leaves no file behind.
    request.onBody = [&](std::string_view piece) {
        return fileReady() && file.write(piece.data(), piece.size());
    };
    if (!completed(platform::httpGet(url, request))) return 0;
    return fileReady() ? 1 : 0;
}
