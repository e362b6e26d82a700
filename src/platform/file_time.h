#pragma once

#include <cstdint>

// Windows file times (100 ns ticks since 1601-01-01 UTC) next to Unix times. Header-only and free
// of the program, so that the navigator simulator shares it.
namespace filetime {

inline constexpr int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr int64_t kUnixEpochSeconds = 11644473600LL;

inline uint64_t fromUnix(int64_t seconds, long nanoseconds) {
    return static_cast<uint64_t>((seconds + kUnixEpochSeconds) * kTicksPerSecond +
                                 nanoseconds / 100);
}

// Seconds and nanoseconds (0 to 999,999,999) since 1970.
inline void toUnix(uint64_t ticks, int64_t& seconds, long& nanoseconds) {
    int64_t sinceUnix = static_cast<int64_t>(ticks) - kUnixEpochSeconds * kTicksPerSecond;
    seconds = sinceUnix / kTicksPerSecond;
    int64_t rest = sinceUnix % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        seconds -= 1;
    }
    nanoseconds = static_cast<long>(rest * 100);
}

}  // namespace filetime
