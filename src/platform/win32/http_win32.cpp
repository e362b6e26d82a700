// HTTP through WinINet.
//
// WinINet's synchronous calls block until the server answers, and the caller must be able to
// stop, pause and time out a transfer at any moment. So each request runs its WinINet calls on a
// thread of its own, which hands the body over in pieces; the calling thread delivers them, polls
// shouldStop and watches the clocks. To end a transfer early it closes the request handle, which
// makes a blocked call return; where a call does not return on that (some WinINet versions only
// give up when the socket's own time-out passes), the transfer thread is left to finish alone and
// touches nothing but the state the two threads share.
#include "platform/win32/http_transfer_win32.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/http.h"
#include "platform/http_url.h"
#include "platform/transfer_watch.h"

namespace platform {

namespace {

using std::chrono::milliseconds;
using win32::Job;
using win32::Shared;

// How often the caller looks at shouldStop and the clocks when nothing arrives.
constexpr milliseconds kPollInterval{25};
// Beyond the caller's own stall limit, the time after which WinINet itself gives up a silent
// socket: the caller decides, this only ends a transfer thread that could not be interrupted.
constexpr DWORD kSocketTimeoutMargin = 2000;

// Transfer threads still running, so that the session's end can wait for them.
std::mutex gLiveMutex;
std::condition_variable gLiveChanged;
int gLiveTransfers = 0;

// Counts transfer threads so that the session's end can wait for them; false when none starts.
bool startThread(const Job& job, const std::shared_ptr<Shared>& shared, std::thread& worker) {
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        ++gLiveTransfers;
    }
    try {
        worker = std::thread([job, shared] {
            win32::runTransfer(job, shared);
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
    auto shared = std::make_shared<Shared>();
    std::thread worker;
    // Nothing is sent to a URL the request may not use.
    if (!parseHttpUrl(url, request.httpsOnly)) {
        response.error.text = win32::kRefusedAddress;
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
