#pragma once

#include <string>

#include "device/device_link.h"

// Whether a navigator is attached, how (as a removable drive or through the remote API) and
// where its track folder lies. Runs on the window thread; it writes mode, connected and dataRoot
// of the link, which a worker copies when its task starts.

// 1 when a navigator's track folder is known and reachable: the cached dataRoot is re-tested
// first (one probe file), then the removable drives are searched, then the device through the
// remote API; a drive wins over the remote API. A failed search forgets dataRoot.
int findNavigator(DeviceLink& link);
// The result of the last check, without any check.
int isConnected(const DeviceLink& link);

// 1 when a file can be created in `folder` (ending with its separator): creates and deletes
// "aaa.dat" there.
int probeFolder(const std::string& folder);
int probeDeviceFolder(RapiBinding& rapi, const std::string& folder);

// The navigator's paths hold at most 259 characters (bytes of ANSI text, UTF-16 units on the
// device): those the searches build with their trailing separator and search wildcard (a folder
// whose path would not fit is passed over), and those of the files the program writes there.
inline constexpr size_t kMaxSearchPath = 259;

// Searches the removable drives for the folder `second` below a folder `first` (names in lower
// case, matched without regard to ASCII case); on success `out` is the found folder with a
// trailing separator.
int findOnRemovableDrives(std::string& out, const std::string& first, const std::string& second);
// The same on the device's mounted storage folders (never its main store), over a link that is up;
// `out` is the ANSI device path with a trailing '\'.
int findOnDevice(RapiBinding& rapi, std::string& out, const std::u16string& first,
                 const std::u16string& second);

// Searches below `path` for a folder `name`, and when `next` is given for a folder `next` below
// that one: in every folder the direct children are compared before any descent, the descent is
// depth-first in the enumeration's order, and only folders whose attribute word is exactly
// "directory" and whose names do not start with "." count. On success `path` is the found
// folder (no trailing separator); on failure it is unchanged.
bool findFolderPair(std::string& path, const std::string& name, const std::string* next);
bool findDeviceFolderPair(RapiBinding& rapi, std::u16string& path, const std::u16string& name,
                          const std::u16string* next);
