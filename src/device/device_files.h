#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/rapi_binding.h"
#include "platform/files.h"

// File operations on the navigator reached through the remote API. Device paths are ANSI text
// that starts with '\'; they are converted to UTF-16 just before each remote call. Every
// operation fails (0) at once when the remote API library is not loaded. Results: nonzero for
// success. The operations keep no state and may be called from any thread.

inline constexpr size_t kDeviceCopyChunk = 2000;

int deviceDeleteFile(RapiBinding& rapi, const std::string& devicePath);
int deviceRemoveFolder(RapiBinding& rapi, const std::string& devicePath);
int deviceCreateFolder(RapiBinding& rapi, const std::string& devicePath);
// Fails when the new path exists.
int deviceMoveFile(RapiBinding& rapi, const std::string& from, const std::string& to);

// Suffixes of the names beside a device file under which copyToDevice writes its replacement and
// parks the old file while the two change places.
inline constexpr const char* kDeviceNewSuffix = "~vn";
inline constexpr const char* kDeviceOldSuffix = "~vo";
inline constexpr size_t kDeviceReplaceSuffixLength = 3;

// Copies a local file to the device in chunks of 2000 bytes. The copy is written beside the
// device file (stamped with the current time before any data is written) and takes its place
// only when it is whole, so the device file is either the old one or the complete new one. 0
// when the local file cannot be read, or the copy cannot be created, written or put in place
// (the device file is then unchanged and nothing is left beside it).
int copyToDevice(RapiBinding& rapi, const std::string& localPath, const std::string& devicePath);
// Copies a local file to a device file that does not exist yet (CREATE_NEW), stamped with the
// current time before any data is written: for a folder that is being filled and is no one
// else's, where the replacement's two moves and its look for a spare would only cost time. 0
// when the local file cannot be read, or the device file cannot be created or written; a device
// file that was created is deleted again then.
int copyToNewDeviceFile(RapiBinding& rapi, const std::string& localPath,
                        const std::string& devicePath);
// Copies a device file to a local file (created or truncated) in chunks of 2000 bytes. 0 when
// the device file cannot be opened, the local file cannot be created, or a read or write fails
// part way (the local file then holds the chunks copied so far).
int copyFromDevice(RapiBinding& rapi, const std::string& devicePath, const std::string& localPath);

// One move of a file or folder, to a name that nothing may stand at.
struct PathMove {
    std::string from;
    std::string to;
};

// Makes the moves in order, on the device when the first path starts with '\', else on local
// paths. A move whose source is missing is passed over when `skipMissing`, else it fails. When a
// move fails, those made before it are taken back, the last first. 1 when every move was made.
int moveAllOrNone(RapiBinding& rapi, const std::vector<PathMove>& moves, bool skipMissing);
// Whether a file or folder stands at the device path.
bool deviceEntryExists(RapiBinding& rapi, const std::string& devicePath);

// Gives the file set of route book `oldName` in `root` (N.trk, N.sim, N\N.rut, N\N.tps) the
// base name `newName`. A root that starts with '\' is a device folder, anything else a local
// folder (a drive's track folder, or where a package was unpacked). `root` ends with its
// separator. Files the set lacks are passed over; no move replaces an existing file or folder.
// 1 when every file the set has took the new name; 0 when a move failed, after the moves already
// made were taken back, so that the set keeps the old name.
int renameRouteBook(RapiBinding& rapi, const std::string& root, const std::string& oldName,
                    const std::string& newName);

// One entry of a device folder enumeration, the name in UTF-16 as the device gives it.
struct DeviceFindEntry {
    std::u16string name;
    uint32_t attributes = 0;
    platform::FileTime lastWriteTime = 0;
    uint64_t size = 0;
};

// The entries matching `pattern` (a device folder + a name with '*' and '?'), in the device's
// order; nothing when the enumeration cannot start (which is also how a device answers a
// pattern that matches nothing).
std::optional<std::vector<DeviceFindEntry>> findDeviceFilesWide(RapiBinding& rapi,
                                                                const std::u16string& pattern);
// The same with an ANSI pattern and ANSI names, as platform::findFiles gives them for local
// folders.
std::optional<std::vector<platform::FolderEntry>> findDeviceFiles(RapiBinding& rapi,
                                                                  const std::string& pattern);

struct DeviceStoreInfo {
    uint32_t storeSize = 0;
    uint32_t freeSize = 0;
};

// Size and free space of the device's store; nothing when the device does not answer.
std::optional<DeviceStoreInfo> deviceStoreInformation(RapiBinding& rapi);
