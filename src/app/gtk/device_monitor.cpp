#include "app/gtk/device_monitor.h"

DeviceMonitor::DeviceMonitor(std::function<void()> changed)
    : monitor_(g_volume_monitor_get()), changed_(std::move(changed)) {
    for (const char* signal : {"drive-connected", "drive-disconnected", "volume-added",
                               "volume-removed", "mount-added", "mount-removed"})
        handlers_.push_back(g_signal_connect(monitor_, signal, G_CALLBACK(onChange), this));
}

DeviceMonitor::~DeviceMonitor() {
    for (gulong handler : handlers_)
        g_signal_handler_disconnect(monitor_, handler);
    g_object_unref(monitor_);
}

void DeviceMonitor::onChange(GVolumeMonitor*, GObject*, gpointer self) {
    static_cast<DeviceMonitor*>(self)->changed_();
}
