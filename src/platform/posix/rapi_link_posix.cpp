#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/rapi_link.h"

namespace platform {

std::string rapiLibraryName() {
    return "librapi.so";
}

RapiApartment::RapiApartment() = default;
RapiApartment::~RapiApartment() = default;

RapiWake::RapiWake() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_ = ends[0];
    write_ = ends[1];
}

RapiWake::~RapiWake() {
    if (read_ >= 0) close(static_cast<int>(read_));
    if (write_ >= 0) close(static_cast<int>(write_));
}

void RapiWake::wake() {
    // A full pipe already holds a wake.
    char one = 1;
    while (write(static_cast<int>(write_), &one, 1) < 0 && errno == EINTR) {
    }
}

EventWait waitForRapiEvent(rapi::HANDLE event, RapiWake& wake, uint32_t milliseconds) {
    // The event is a file descriptor held in the handle; null (descriptor 0 is never handed out
    // as an event) or negative means there is nothing to wait on but the wake.
    auto fd = reinterpret_cast<intptr_t>(event);
    bool hasEvent = fd > 0 && fd <= 0x7fffffff;
    struct pollfd p[2] = {};
    p[0].fd = static_cast<int>(wake.handle());
    p[0].events = POLLIN;
    p[1].fd = hasEvent ? static_cast<int>(fd) : -1;
    p[1].events = POLLIN;
    int timeout = milliseconds > 0x7fffffffU ? -1 : static_cast<int>(milliseconds);
    // Without a pipe (no descriptors were left) the thread looks for work every 10 ms instead.
    if (p[0].fd < 0 && (timeout < 0 || timeout > 10)) timeout = 10;
    int got = 0;
    while ((got = poll(p, 2, timeout)) < 0 && errno == EINTR) {
    }
    if (got < 0) return EventWait::Failed;
    if (p[1].revents != 0) return (p[1].revents & POLLIN) ? EventWait::Signaled : EventWait::Failed;
    if (p[0].revents == 0) return EventWait::TimedOut;
    char drained[64];
    while (read(p[0].fd, drained, sizeof drained) > 0) {
    }
    return EventWait::Woken;
}

}  // namespace platform
