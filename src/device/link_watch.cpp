#include "device/link_watch.h"

#include "common/seat.h"
#include "device/device_link.h"

namespace {

// How often a pending link is looked at for a restart or the end, and how long one link is
// watched before it is left to the searches (which still find it when it comes up later).
constexpr uint32_t kSliceMs = 100;
constexpr uint32_t kWatchMs = 60000;

}  // namespace

LinkWatch::LinkWatch(RapiBinding& rapi, Seat& seat)
    : rapi_(rapi), seat_(seat), thread_([this] { run(); }) {}

LinkWatch::~LinkWatch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void LinkWatch::restart() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        restart_ = true;
    }
    wake_.notify_one();
}

void LinkWatch::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return restart_ || stop_; });
        if (stop_) return;
        restart_ = false;
        lock.unlock();
        rapi_.startRemoteLink();
        if (watchLink()) seat_.post(TaskEvent::of(TaskEvent::Kind::DeviceLink));
        lock.lock();
    }
}

bool LinkWatch::watchLink() {
    for (uint32_t waited = 0; waited < kWatchMs; waited += kSliceMs) {
        RapiBinding::LinkState state = rapi_.waitRemoteLink(kSliceMs);
        if (state != RapiBinding::LinkState::Pending) return state == RapiBinding::LinkState::Up;
        std::lock_guard<std::mutex> lock(mutex_);
        if (restart_ || stop_) return false;
    }
    return false;
}

void watchRemoteLink(DeviceLink& device, Seat& seat) {
    if (device.rapi.isLoaded() && !device.linkWatch)
        device.linkWatch = std::make_unique<LinkWatch>(device.rapi, seat);
}

void restartRemoteLink(DeviceLink& device) {
    if (device.linkWatch) device.linkWatch->restart();
}
