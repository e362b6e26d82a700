#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/http.h"

namespace platform {

// The limits of one transfer as its HttpRequest sets them (stall, deadline, minimum rate, body
// size), kept the same way by both HTTP sides: a side only moves bytes and asks the watch after
// each piece or tick whether to go on. Time spent in the request's shouldStop (a paused task) is
// left out of every clock: it is neither the server's silence nor its slowness.
class TransferWatch {
  public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit TransferWatch(const HttpRequest& request, Now now = Clock::now);

    // Asks the request's shouldStop, if it has one.
    bool stopRequested();
    // The body length the server announced (negative for none); false when it is over the cap.
    bool announced(int64_t length);
    // A piece of the body about to be delivered; false when it takes the body over the cap.
    bool body(size_t bytes);
    // `moved`: bytes sent and received so far. False when nothing moved for too long, the
    // deadline has passed or the rate over the last stretch fell below the minimum.
    bool goOn(int64_t moved);

    // What the watch ended the transfer for (limit None when it did not).
    HttpError error() const;

  private:
    const HttpRequest& request_;
    Now now_;
    Clock::time_point started_;
    Clock::time_point lastMove_;
    int64_t lastCount_ = 0;
    // The stretch over which the rate is measured: its start and the count at its start.
    Clock::time_point windowStart_;
    int64_t windowCount_ = 0;
    uint64_t bodyBytes_ = 0;
    int64_t announced_ = -1;
    TransferLimit ended_ = TransferLimit::None;
};

// Writes a failed request to the log: method, address without query or user, and the cause.
// Nothing for a request that completed below status 400, was stopped or was ended by onBody.
void logHttpFailure(std::string_view method, const std::string& url, const HttpResponse& response);

}  // namespace platform
