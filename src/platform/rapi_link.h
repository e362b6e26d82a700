#pragma once

#include <cstdint>
#include <string>

#include "platform/rapi_abi.h"

// What the remote API binding needs from the system besides the library itself: the library's
// name, and for the one thread that calls the remote API its apartment, a wake-up call and the
// wait for the link.
namespace platform {

// The remote API library for the loader: the system folder + "\rapi.dll" on Windows, the bare
// name "librapi.so" (found by the system loader) elsewhere.
std::string rapiLibraryName();

// COM for the calling thread, for as long as the object lives, as the remote API asks of the
// thread that calls it (a single-threaded apartment on Windows; nothing elsewhere).
class RapiApartment {
  public:
    RapiApartment();
    ~RapiApartment();
    RapiApartment(const RapiApartment&) = delete;
    RapiApartment& operator=(const RapiApartment&) = delete;

  private:
    [[maybe_unused]] bool initialised_ = false;  // used on Windows only
};

enum class EventWait { Signaled, Woken, TimedOut, Failed };

// Wakes the thread that owns the remote API out of its wait (waitForRapiEvent) from any other
// thread: an event on Windows, a pipe here. A wake given while the thread is busy ends its next
// wait at once.
class RapiWake {
  public:
    RapiWake();
    ~RapiWake();
    RapiWake(const RapiWake&) = delete;
    RapiWake& operator=(const RapiWake&) = delete;

    void wake();
    // What the wait watches: the event HANDLE, or the pipe's read end.
    intptr_t handle() const { return read_; }

  private:
    intptr_t read_ = -1;
    intptr_t write_ = -1;  // the pipe's write end (POSIX only)
};

inline constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// The owning thread's wait, at most `milliseconds` (or kWaitForever): for the link-start event of
// RAPIINIT (none when null), or for a wake. Woken takes the wake back. On Windows this is
// MsgWaitForMultipleObjects, as the remote API's documentation asks: the thread's window messages
// are dispatched meanwhile.
EventWait waitForRapiEvent(rapi::HANDLE event, RapiWake& wake, uint32_t milliseconds);

}  // namespace platform
