#include "app/event_router.h"

#include <cstdio>

#include "common/task_status.h"
#include "platform/clock.h"

namespace {

std::string decimal(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return text;
}

const PageCall kPdaLink{"PDALink", {}};

}  // namespace

void EventRouter::rightButtonDown(intptr_t lParam) {
    if (!host_.hasDocument()) return;
    auto bits = static_cast<uint32_t>(lParam);
    host_.callPage({"onRButtonDown", {decimal(bits & 0xFFFF), decimal((bits >> 16) & 0xFFFF)}});
}

bool EventRouter::deviceChanged() {
    uint32_t now = platform::clock().tickCount();
    // Unsigned difference: the tick count wraps after 49.7 days.
    if (static_cast<uint32_t>(now - lastDeviceChangeTick_) <= kDeviceChangeQuietMs ||
        !host_.hasDocument())
        return false;
    if (host_.isConnected() || host_.checkConnection()) {
        host_.callPage(kPdaLink);
    } else {
        host_.startTimer(TIMER_DEVICE_RECHECK, kDeviceRecheckMs);
        host_.restartDeviceLink();
    }
    lastDeviceChangeTick_ = now;
    return true;
}

bool EventRouter::deviceLinkUp() {
    if (!host_.hasDocument()) return false;
    if (host_.isConnected() || host_.checkConnection()) {
        host_.callPage(kPdaLink);
        // Found: the device timers have nothing left to do.
        host_.stopTimer(TIMER_DEVICE_RECHECK);
        host_.stopTimer(TIMER_DEVICE_LATE);
    }
    return true;
}

bool EventRouter::taskMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_DEVICE_LINK) return deviceLinkUp();
    std::optional<PageCall> call = pageCallForMessage(message, wParam, lParam);
    if (!call || !host_.hasDocument()) return false;
    host_.callPage(*call);
    return true;
}

bool EventRouter::timer(int id) {
    if ((id != TIMER_DEVICE_RECHECK && id != TIMER_DEVICE_LATE) || !host_.hasDocument())
        return false;
    if (id == TIMER_DEVICE_RECHECK) {
        if (host_.isConnected() || host_.checkConnection())
            host_.callPage(kPdaLink);
        else
            host_.startTimer(TIMER_DEVICE_LATE, kDeviceLateMs);
    } else {
        // The page checks the device itself through its methods.
        host_.callPage(kPdaLink);
    }
    host_.stopTimer(id);
    return true;
}

intptr_t packClientPoint(double x, double y) {
    auto low16 = [](double v) { return static_cast<uint32_t>(static_cast<int64_t>(v)) & 0xFFFF; };
    return static_cast<intptr_t>(low16(x) | (low16(y) << 16));
}
