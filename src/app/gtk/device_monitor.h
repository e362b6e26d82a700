#pragma once

#include <gio/gio.h>

#include <functional>
#include <vector>

// Tells when drives, volumes or mounts come or go: what a device-change notification is on
// Windows.
class DeviceMonitor {
  public:
    explicit DeviceMonitor(std::function<void()> changed);
    ~DeviceMonitor();
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;

  private:
    static void onChange(GVolumeMonitor*, GObject*, gpointer self);

    GVolumeMonitor* monitor_;
    std::vector<gulong> handlers_;
    std::function<void()> changed_;
};
