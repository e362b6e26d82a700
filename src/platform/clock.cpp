#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600LL;

const Clock gSystemClock;
std::atomic<const Clock*> gClock{&gSystemClock};

}  // namespace

FileTime Clock::utcNow() const {
    auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return static_cast<FileTime>(since1970 / 100 + kEpochDifference * 10000000LL);
}

LocalTime Clock::localNow() const {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

uint32_t Clock::tickCount() const {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return static_cast<uint32_t>(ms);
}

int64_t Clock::unixTime() const {
    return static_cast<int64_t>(std::time(nullptr));
}

const Clock& clock() {
    return *gClock.load();
}

void setClock(const Clock* replacement) {
    gClock.store(replacement ? replacement : &gSystemClock);
}

}  // namespace platform
