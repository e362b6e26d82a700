#include "tasks/http_transfer.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string_view>

#include "build_config.h"
#include "common/task_status.h"
#include "platform/files.h"
#include "platform/http.h"

namespace {

// A reply longer than this is not a confirmation the program can use anyway.
constexpr size_t kMaxReplyBytes = 65536;

std::mutex gServerMutex;
std::optional<std::string> gServerOverride;
std::atomic<int> gConnectTimeoutMs{60000};
std::atomic<int> gStallTimeoutMs{30000};
constexpr std::string_view kFileScheme = "file://";

// A local package read as a download would arrive, piece by piece.
platform::HttpOutcome readLocalPackage(const std::string& path,
                                       const std::function<bool(std::string_view)>& onBody,
                                       const TaskControl* control) {
    platform::File source(path, platform::OpenMode::Read);
    if (!source.isOpen()) return platform::HttpOutcome::Failed;
    char buffer[64 * 1024];
    for (;;) {
        if (control && control->checkpoint()) return platform::HttpOutcome::Stopped;
        size_t n = source.read(buffer, sizeof buffer);
        if (n == 0) return platform::HttpOutcome::Complete;
        if (!onBody(std::string_view(buffer, n))) return platform::HttpOutcome::Aborted;
    }
}
std::atomic<int> gMinBytesPerSecond{kMinTransferBytesPerSecond};
std::atomic<int> gMinRateWindowMs{kMinTransferRateWindowMs};

platform::HttpRequest baseRequest(const char* agent, const TaskControl* control) {
    platform::HttpRequest request;
    request.agent = agent;
    request.connectTimeoutMs = gConnectTimeoutMs.load();
    request.stallTimeoutMs = gStallTimeoutMs.load();
    request.minBytesPerSecond = gMinBytesPerSecond.load();
    request.minRateWindowMs = gMinRateWindowMs.load();
    if (control) request.shouldStop = [control] { return control->checkpoint(); };
    return request;
}

// The download's file, written piece by piece up to the package limit.
struct DownloadTarget {
    platform::File& file;
    int64_t received = 0;
    bool tooLarge = false;
    platform::OsError writeError;

    bool take(std::string_view piece) {
        if (received + static_cast<int64_t>(piece.size()) > kMaxPackageBytes) {
            tooLarge = true;
            return false;
        }
        if (!file.write(piece.data(), piece.size(), &writeError)) return false;
        received += static_cast<int64_t>(piece.size());
        return true;
    }
};

// The package at `url` handed to the request's onBody: over HTTP, or read from the PC when
// local packages are allowed (else a file address fails).
platform::HttpResponse fetchPackage(const std::string& url, const platform::HttpRequest& request,
                                    const TaskControl* control, LocalPackages local) {
    if (url.rfind(kFileScheme, 0) != 0) return platform::httpGet(url, request);
    platform::HttpResponse response;
    if (local == LocalPackages::Allowed) {
        response.outcome =
            readLocalPackage(url.substr(kFileScheme.size()), request.onBody, control);
        response.status = response.outcome == platform::HttpOutcome::Complete ? 200 : 0;
    }
    return response;
}

}  // namespace

std::string routeBookServer() {
    std::lock_guard<std::mutex> lock(gServerMutex);
    return gServerOverride ? *gServerOverride : std::string(build_config::kRouteBookServer);
}

void setRouteBookServer(std::optional<std::string> hostPort) {
    std::lock_guard<std::mutex> lock(gServerMutex);
    gServerOverride = std::move(hostPort);
}

void setTransferTimeouts(int connectMs, int stallMs) {
    gConnectTimeoutMs.store(connectMs);
    gStallTimeoutMs.store(stallMs);
}

void setTransferMinimumRate(int bytesPerSecond, int windowMs) {
    gMinBytesPerSecond.store(bytesPerSecond);
    gMinRateWindowMs.store(windowMs);
}

bool downloadFile(Seat& seat, const std::string& url, const std::string& path,
                  const TaskControl* control, LocalPackages local) {
    if (url.empty() || path.empty()) {
        seat.postStatus(TaskStatus::UnknownError);
        return false;
    }
    // Whatever stands at the name is replaced, never written through.
    platform::deleteFile(path);
    platform::OsError error;
    platform::File file(path, platform::OpenMode::CreateNew, &error);
    if (!file.isOpen()) {
        platform::logOsError(error);
        seat.postStatus(TaskStatus::DownloadFailed, error);
        return false;
    }
    DownloadTarget target{file, 0, false, {}};
    platform::HttpRequest request = baseRequest("Hello", control);
    request.reload = true;
    request.failOnErrorStatus = true;
    request.onBody = [&target](std::string_view piece) { return target.take(piece); };
    platform::HttpResponse response = fetchPackage(url, request, control, local);
    file.close();
    if (response.outcome == platform::HttpOutcome::Stopped) return true;
    bool ok = !target.tooLarge && !target.writeError.failed() &&
              response.outcome == platform::HttpOutcome::Complete && response.status >= 200 &&
              response.status < 300;
    if (ok) return true;
    platform::deleteFile(path);
    if (target.writeError.failed()) platform::logOsError(target.writeError);
    seat.postStatus(target.tooLarge ? TaskStatus::DownloadTooLarge : TaskStatus::DownloadFailed,
                    target.writeError);
    return false;
}

bool uploadFile(Seat& seat, const std::string& path, const std::string& objectName,
                const TaskControl* control) {
    platform::File file;
    if (path.empty() || objectName.empty() || !file.open(path, platform::OpenMode::Read)) {
        seat.postStatus(TaskStatus::UnknownError);
        return false;
    }
    int64_t size = file.size();
    if (size > kMaxPackageBytes) {
        seat.postStatus(TaskStatus::UploadTooLarge);
        return false;
    }
    std::string body;
    if (size > 0) body.resize(static_cast<size_t>(size));
    if (size <= 0 || file.read(body.data(), body.size()) != body.size()) {
        seat.postStatus(TaskStatus::UnknownError);
        return false;
    }
    file.close();

    std::string reply;
    platform::HttpRequest request = baseRequest("CEHTTP", control);
    request.reload = false;
    request.onBody = [&reply](std::string_view piece) {
        size_t room = kMaxReplyBytes - reply.size();
        reply.append(piece.substr(0, room));
        return piece.size() <= room;
    };
    platform::HttpResponse response =
        platform::httpPost("http://" + routeBookServer() + objectName, body, request);
    // An error status is a refusal, whatever its page says.
    bool refused = response.status >= 400;
    if (!refused && reply.find("<rbid>") != std::string::npos) return true;
    if (response.outcome != platform::HttpOutcome::Stopped)
        seat.postStatus(TaskStatus::UploadFailed);
    return false;
}

std::string urlEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            out += ch;
        } else if (c == ' ' || (c >= '\t' && c <= '\r')) {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}
