#pragma once

#include <cstdint>

#include "platform/files.h"

// The clock, replaceable so that tests fix "now".
namespace platform {

struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Current time, UTC.
    virtual FileTime utcNow() const;
    // Current local date and time.
    virtual LocalTime localNow() const;
    // Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
    virtual uint32_t tickCount() const;
    // Seconds since 1970 (the C library's time()).
    virtual int64_t unixTime() const;
};

const Clock& clock();
// Installs a replacement clock (null restores the system clock). Not thread-safe: tests only.
void setClock(const Clock* replacement);

}  // namespace platform
