#include "device/link_watch.h"

#include "common/task_status.h"
#include "device/device_link.h"

LinkWatch::LinkWatch(RapiBinding& rapi) : rapi_(rapi) {
    rapi_.setLinkListener([] { platform::postMessage(WM_DEVICE_LINK, 0, 0); });
    rapi_.startRemoteLink();
}

LinkWatch::~LinkWatch() {
    rapi_.setLinkListener(nullptr);
}

void LinkWatch::restart() {
    rapi_.startRemoteLink();
}

void watchRemoteLink(DeviceLink& device) {
    if (device.rapi.isLoaded() && !device.linkWatch)
        device.linkWatch = std::make_unique<LinkWatch>(device.rapi);
}

void restartRemoteLink(DeviceLink& device) {
    if (device.linkWatch) device.linkWatch->restart();
}
