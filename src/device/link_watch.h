#pragma once

#include "common/seat.h"
#include "device/rapi_binding.h"

struct DeviceLink;

// Keeps the window's remote link: a link is started at once and afresh at each restart(), and
// when one comes up (the binding's thread waits for it, for as long as it takes) the seat is
// told (a DeviceLink event) and the window runs its usual check. The window's searches only look at
// the link.
class LinkWatch {
  public:
    LinkWatch(RapiBinding& rapi, Seat& seat);
    ~LinkWatch();
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    // A fresh link; one still pending is ended.
    void restart();

  private:
    RapiBinding& rapi_;
    Seat& seat_;
};

// From here on the device's remote link is kept by a watch, and a search never waits for it
// (the window's program calls this once, after its single-instance check).
void watchRemoteLink(DeviceLink& device, Seat& seat);
// A device change found no navigator: a fresh link, when the link is watched.
void restartRemoteLink(DeviceLink& device);
