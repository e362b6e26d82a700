#pragma once

#include <string>

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
    // Loads the remote API library and tries a first remote link (up to 2000 ms).
    RapiBinding rapi;
};
