#include "device/link_watch.h"

#include "common/seat.h"
#include "device/device_link.h"

LinkWatch::LinkWatch(RapiBinding& rapi, Seat& seat) : rapi_(rapi), seat_(seat) {
    rapi_.setLinkListener([this] { seat_.post(TaskEvent::of(TaskEvent::Kind::DeviceLink)); });
    rapi_.startRemoteLink();
}

LinkWatch::~LinkWatch() {
    rapi_.setLinkListener(nullptr);
}

void LinkWatch::restart() {
    rapi_.startRemoteLink();
}

void watchRemoteLink(DeviceLink& device, Seat& seat) {
    if (device.rapi.isLoaded() && !device.linkWatch)
        device.linkWatch = std::make_unique<LinkWatch>(device.rapi, seat);
}

void restartRemoteLink(DeviceLink& device) {
    if (device.linkWatch) device.linkWatch->restart();
}
