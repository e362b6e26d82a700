#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/rapi_binding.h"
#include "platform/files.h"

// File operations on the navigator reached through the remote API. Device paths are ANSI text
// that starts with '\'; they are converted to UTF-16 just before each remote call. Every
// operation fails (0) at once when the remote API library is not loaded. Results: nonzero for
// success. The operations keep no state and may be called from any thread.

inline constexpr size_t kDeviceCopyChunk = 2000;
// The pieces of a copy on the navigator's drive: large, so that a copy runs at the disk's pace.
inline constexpr size_t kLocalCopyChunk = size_t{1} << 20;

int deviceDeleteFile(RapiBinding& rapi, const std::string& devicePath);
int deviceRemoveFolder(RapiBinding& rapi, const std::string& devicePath);
int deviceCreateFolder(RapiBinding& rapi, const std::string& devicePath);
// Fails when the new path exists.
int deviceMoveFile(RapiBinding& rapi, const std::string& from, const std::string& to);

// Suffixes of the names beside a navigator's file under which a replacement writes the new copy
// and, on the device, parks the old file while the two change places.
inline constexpr const char* kDeviceNewSuffix = "~vn";
inline constexpr const char* kDeviceOldSuffix = "~vo";
inline constexpr size_t kDeviceReplaceSuffixLength = 3;

// Where the bytes of a copy come from: fills up to `n` bytes of `buffer` and answers how many, 0
// at the end, or nothing when the source failed (the copy is then given up).
using ChunkSource = std::function<std::optional<size_t>(char* buffer, size_t n)>;
// Where the bytes of a file that is read go, piece by piece; false gives the read up.
using ChunkSink = std::function<bool(const char* data, size_t n)>;

// What replaceNavigatorFile writes.
struct Replacement {
    ChunkSource source;
    // Asked once the copy is whole and before it takes the file's place (a checksum to compare);
    // false gives the copy up. None: every whole copy goes in.
    std::function<bool()> check;
    // The file's last-write time afterwards; 0 stamps the current time before any data is
    // written.
    platform::FileTime lastWriteTime = 0;
};

// Replaces the navigator's file `path` by a complete copy of what the source gives: the copy is
// written beside it under path + kDeviceNewSuffix, checked, and only then moved into its place.
// A path starting with '\' is on the device (remote API), any other is a local path on the
// navigator's drive. The device cannot rename over a file, so there the old file steps aside
// under path + kDeviceOldSuffix for the instant between two moves; a replacement cut off there
// is made good by finishInterruptedReplacement, which every replacement of the same file runs
// first. So the file is always the old one or the whole new one. 1 on success; 0 when the copy
// cannot be made, written or moved, the source fails or the check refuses, or a folder stands at
// the path (a folder is never moved aside): the file is then unchanged and nothing is left
// beside it. On the drive no link on the way is followed (NavigatorTree).
int replaceNavigatorFile(RapiBinding& rapi, const std::string& path,
                         const Replacement& replacement);
// The two halves of replaceNavigatorFile, for a caller that writes and checks the copies of many
// files before it puts any of them in place. writeReplacementCopy leaves the checked copy beside
// the file (1), or nothing (0); putReplacementInPlace moves it in (0, with the copy gone and the
// file unchanged, when a move fails); discardReplacementCopy removes a copy not put in place.
int writeReplacementCopy(RapiBinding& rapi, const std::string& path,
                         const Replacement& replacement);
int putReplacementInPlace(RapiBinding& rapi, const std::string& path);
void discardReplacementCopy(RapiBinding& rapi, const std::string& path);
// Finishes a replacement of `path` that was cut off (a stop, a pulled cable, the program
// killed): a copy being written goes; an old file parked aside goes back when the new one never
// took its place, and goes when it did.
void finishInterruptedReplacement(RapiBinding& rapi, const std::string& path);
// Whether a file name is one under which a replacement writes or parks (its suffix, in any
// letter case, as the navigator compares names).
bool isReplacementName(std::string_view name);
// Whether it is the name under which a replacement parks the old file.
bool isParkedName(std::string_view name);

// Reads the navigator's file `path` (a device path, or a local one on its drive) from start to
// end, handing every piece to `sink` (on the device in chunks of 2000 bytes). 1 when the whole
// file was read and the sink took every piece; 0 when it cannot be opened, a read fails part
// way, or the sink gives up.
int readNavigatorFile(RapiBinding& rapi, const std::string& path, const ChunkSink& sink);

// Copies a local file to the device in chunks of 2000 bytes, as replaceNavigatorFile replaces a
// file, stamped with the current time before any data is written. 0 when the local file cannot
// be read, or the copy cannot be created, written or put in place (the device file is then
// unchanged and nothing is left beside it).
int copyToDevice(RapiBinding& rapi, const std::string& localPath, const std::string& devicePath);
// Copies a device file to a local file (created or truncated) in chunks of 2000 bytes. 0 when
// the device file cannot be opened, the local file cannot be created, or a read or write fails
// part way (the local file then holds the chunks copied so far).
int copyFromDevice(RapiBinding& rapi, const std::string& devicePath, const std::string& localPath);

// One move of a file or folder, to a name that nothing may stand at.
struct PathMove {
    std::string from;
    std::string to;
};

// The navigator's files and folders, over the remote API (paths that start with '\') or on the
// navigator's drive (local paths): the operations that copies, replacements, route book sets and
// backups make, alike for both.
class NavigatorFiles {
  public:
    NavigatorFiles(RapiBinding& rapi, bool device) : rapi_(rapi), device_(device) {}
    // The files that `path` is one of: the device's when it starts with '\'.
    static NavigatorFiles of(RapiBinding& rapi, const std::string& path);

    bool onDevice() const { return device_; }
    // Whether a file or folder stands at the path.
    bool exists(const std::string& path) const;
    bool isFolder(const std::string& path) const;
    // The entries of a folder (given with or without its final separator). The device answers
    // an empty folder, a missing one and a search that failed alike, with nothing: there a
    // search that finds nothing is made twice.
    std::optional<std::vector<platform::FolderEntry>> list(const std::string& folder) const;
    // The entries matching a folder + a name with '*' and '?'.
    std::optional<std::vector<platform::FolderEntry>> find(const std::string& pattern) const;
    // Makes a folder where nothing stands; false when it cannot, or when something is there.
    bool createFolder(const std::string& path) const;
    // Removes an empty folder.
    bool removeFolder(const std::string& path) const;
    bool remove(const std::string& path) const;
    // Deleted, or not there in the first place.
    bool gone(const std::string& path) const { return remove(path) || !exists(path); }
    bool move(const std::string& from, const std::string& to) const;
    // Makes the moves in order. A move whose source is missing is passed over when
    // `skipMissing`, else it fails. When a move fails, those made before it are taken back, the
    // last first. True when every move was made.
    bool moveAllOrNone(const std::vector<PathMove>& moves, bool skipMissing) const;
    // Copies a local file to a file of the navigator that does not exist yet (on the device
    // stamped with the current time before any data is written, on a drive with the local
    // file's times); false when it cannot be read, created or written, and then nothing is left
    // at `path`. A drive's or the PC's cause of a failure goes into *error.
    bool copyNew(const std::string& localPath, const std::string& path,
                 platform::OsError* error = nullptr) const;
    // Copies a file of the navigator to a local file (created or truncated).
    bool copyOut(const std::string& path, const std::string& localPath,
                 platform::OsError* error = nullptr) const;

  private:
    RapiBinding& rapi_;
    bool device_;
};

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
