#include <poll.h>

#include <cerrno>

#include "platform/rapi_link.h"

namespace platform {

std::string rapiLibraryName() {
    return "librapi.so";
}

EventWait waitForRapiEvent(rapi::HANDLE event, uint32_t milliseconds) {
    // The event is a file descriptor held in the handle; null (descriptor 0 is never handed out
    // as an event) or negative means there is nothing to wait on.
    auto fd = reinterpret_cast<intptr_t>(event);
    if (fd <= 0 || fd > 0x7fffffff) return EventWait::Failed;
    struct pollfd p {};
    p.fd = static_cast<int>(fd);
    p.events = POLLIN;
    int timeout = milliseconds > 0x7fffffffU ? -1 : static_cast<int>(milliseconds);
    for (;;) {
        int got = poll(&p, 1, timeout);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return EventWait::Failed;
        if (got == 0) return EventWait::TimedOut;
        return (p.revents & POLLIN) ? EventWait::Signaled : EventWait::Failed;
    }
}

}  // namespace platform
