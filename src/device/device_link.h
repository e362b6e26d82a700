#pragma once

#include <memory>
#include <string>

#include "device/link_watch.h"
#include "device/rapi_binding.h"

enum ConnectionMode : int { NotConnected = 0, RemovableDrive = 1, RapiDevice = 2 };

// How the navigator is reached: the remote API binding, the connection the last check found and
// the navigator's track folder. The window thread writes mode, connected and dataRoot; a worker
// takes its own copy of mode and dataRoot when its task starts.
struct DeviceLink {
    ConnectionMode mode = NotConnected;
    int connected = 0;
    // The navigator's track folder with a trailing backslash (device path) or separator (drive).
    std::string dataRoot;
    // Loads the remote API library and makes every remote call on a thread of its own; a link is
    // started by the first search, or by the watch.
    RapiBinding rapi;
    // The window's: keeps the remote link and tells the window when it comes up
    // (watchRemoteLink). Ends before the binding.
    std::unique_ptr<LinkWatch> linkWatch;
};
