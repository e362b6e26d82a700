#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/seat.h"
#include "device/rapi_binding.h"

struct DeviceLink;

// Keeps the window's remote link off the window thread: a thread of its own starts a link at once
// and afresh at each restart(), and watches it come up. When it does, the seat is told (a
// DeviceLink event) and the window runs its usual check. The window's searches only look at the
// link.
class LinkWatch {
  public:
    LinkWatch(RapiBinding& rapi, Seat& seat);
    ~LinkWatch();
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    // A fresh link; one still being watched is ended.
    void restart();

  private:
    void run();
    // True when the link came up; false when it failed, stayed pending for the whole watch, or a
    // restart or the end was asked for meanwhile.
    bool watchLink();

    RapiBinding& rapi_;
    Seat& seat_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool restart_ = true;  // the first link
    bool stop_ = false;
    std::thread thread_;  // last: it starts with everything above in place
};

// From here on the device's remote link is kept by a watch, and a search never waits for it
// (the window's program calls this once, after its single-instance check).
void watchRemoteLink(DeviceLink& device, Seat& seat);
// A device change found no navigator: a fresh link, when the link is watched.
void restartRemoteLink(DeviceLink& device);
