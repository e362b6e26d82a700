#include "platform/transfer_watch.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using platform::TransferLimit;
using Clock = platform::TransferWatch::Clock;

// The request's limits: stall and deadline in ms, bytes a second over each minute, body bytes.
struct Limits {
    int stallMs;
    int deadlineMs;
    int64_t minRate;
    int64_t maxBody;
};

struct Case {
    const char* label;
    Limits limits;
    // "900:10" asks at 900 ms with 10 bytes moved so far, "p5000" spends 5000 ms in shouldStop,
    // "a100" announces a body of 100 bytes, "b60" delivers 60 bytes of it.
    const char* steps;
    int endsAt;  // the step the watch refuses, -1 for none
    TransferLimit limit;
};

TEST(TransferWatch, EndsATransferOnlyForTheLimitItBreaks) {
    const Limits stall{1000, 0, 0, 0};
    const Limits deadline{30000, 2000, 0, 0};
    const Limits rate{30000, 0, 100, 0};
    const Limits cap{30000, 0, 0, 100};
    const Limits all{1000, 10000, 100, 1000};
    const Case cases[] = {
        {"bytes moving keep a stall away", stall, "900:10 1800:20 2700:30 3600:30", -1,
         TransferLimit::None},
        {"stall", stall, "500:10 1499:10 1501:10", 2, TransferLimit::Stall},
        {"a pause is no stall", stall, "p5000 5900:0", -1, TransferLimit::None},
        {"deadline while bytes move", deadline, "1000:100 2000:200 2001:300", 2,
         TransferLimit::Deadline},
        {"a pause does not count against the deadline", deadline, "1000:100 p5000 6900:200", -1,
         TransferLimit::None},
        {"nothing measured before the first minute ends", rate, "20000:10 40000:20 59999:30", -1,
         TransferLimit::None},
        {"a fast first minute does not cover a slow second one", rate,
         "30000:6100 60000:12000 120000:13000", 2, TransferLimit::MinimumRate},
        {"body over the cap", cap, "b60 b40 b1", 2, TransferLimit::BodySize},
        {"announced over the cap", cap, "a100 a101", 1, TransferLimit::BodySize},
        {"a normal transfer within every limit", all, "a1000 b600 900:600 b400 1800:1000 2700:1000",
         -1, TransferLimit::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Clock::time_point start{};
        Clock::time_point now = start;
        int64_t pauseMs = 0;
        platform::HttpRequest request;
        request.stallTimeoutMs = c.limits.stallMs;
        request.deadlineMs = c.limits.deadlineMs;
        request.minBytesPerSecond = c.limits.minRate;
        request.minRateWindowMs = 60000;
        request.maxBodyBytes = c.limits.maxBody;
        request.shouldStop = [&] {
            now += std::chrono::milliseconds(pauseMs);
            return false;
        };
        platform::TransferWatch watch(request, [&] { return now; });
        std::istringstream steps(c.steps);
        std::string step;
        int endedAt = -1;
        for (int i = 0; endedAt < 0 && steps >> step; ++i) {
            int64_t value = std::stoll(step.substr(step[0] <= '9' ? step.find(':') + 1 : 1));
            bool goOn = true;
            if (step[0] == 'p') {
                pauseMs = value;
                EXPECT_FALSE(watch.stopRequested());
            } else if (step[0] == 'a') {
                goOn = watch.announced(value);
            } else if (step[0] == 'b') {
                goOn = watch.body(static_cast<size_t>(value));
            } else {
                now = start + std::chrono::milliseconds(std::stoll(step));
                goOn = watch.goOn(value);
            }
            if (!goOn) endedAt = i;
        }
        EXPECT_EQ(endedAt, c.endsAt);
        EXPECT_EQ(watch.error().limit, c.limit);
    }
}

}  // namespace
