#include "device/device_files.h"

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

namespace {

std::u16string wide(const std::string& devicePath) {
    return platform::ansiToUtf16(devicePath);
}

rapi::FILETIME toRapiTime(platform::FileTime time) {
    return {static_cast<rapi::DWORD>(time & 0xFFFFFFFFu), static_cast<rapi::DWORD>(time >> 32)};
}

platform::FileTime fromRapiTime(const rapi::FILETIME& time) {
    return (static_cast<platform::FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Closes a device handle when it goes.
class DeviceHandle {
  public:
    DeviceHandle(RapiBinding& rapi, rapi::HANDLE handle) : rapi_(rapi), handle_(handle) {}
    ~DeviceHandle() {
        if (isValid()) rapi_.CeCloseHandle(handle_);
    }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    bool isValid() const { return handle_ != rapi::invalidHandleValue() && handle_ != nullptr; }
    rapi::HANDLE get() const { return handle_; }

  private:
    RapiBinding& rapi_;
    rapi::HANDLE handle_;
};

std::u16string entryName(const rapi::CE_FIND_DATA& data) {
    size_t n = 0;
    while (n < static_cast<size_t>(rapi::kMaxPath) && data.cFileName[n] != 0)
        ++n;
    return std::u16string(data.cFileName, n);
}

}  // namespace

int deviceDeleteFile(RapiBinding& rapi, const std::string& devicePath) {
    if (!rapi.isLoaded()) return 0;
    return rapi.CeDeleteFile(wide(devicePath).c_str());
}

int deviceRemoveFolder(RapiBinding& rapi, const std::string& devicePath) {
    if (!rapi.isLoaded()) return 0;
    return rapi.CeRemoveDirectory(wide(devicePath).c_str());
}

int deviceCreateFolder(RapiBinding& rapi, const std::string& devicePath) {
    if (!rapi.isLoaded()) return 0;
    return rapi.CeCreateDirectory(wide(devicePath).c_str());
}

int deviceMoveFile(RapiBinding& rapi, const std::string& from, const std::string& to) {
    if (!rapi.isLoaded()) return 0;
    return rapi.CeMoveFile(wide(from).c_str(), wide(to).c_str());
}

bool deviceEntryExists(RapiBinding& rapi, const std::string& devicePath) {
    auto found = findDeviceFilesWide(rapi, wide(devicePath));
    return found && !found->empty();
}

namespace {

// Writes the whole local file to a device file, stamped with the current time first.
bool writeDeviceFile(RapiBinding& rapi, platform::File& local, const std::string& devicePath,
                     rapi::DWORD creation = rapi::kCreateAlways) {
    DeviceHandle device(
        rapi, rapi.CeCreateFile(wide(devicePath).c_str(), rapi::kGenericRead | rapi::kGenericWrite,
                                0, creation, rapi::kFileAttributeNormal));
    if (!device.isValid()) return false;
    rapi::FILETIME now = toRapiTime(platform::clock().utcNow());
    rapi.CeSetFileTime(device.get(), &now, &now, &now);
    char buffer[kDeviceCopyChunk];
    for (;;) {
        size_t got = local.read(buffer, sizeof buffer);
        if (got == 0) return true;
        rapi::DWORD written = 0;
        if (!rapi.CeWriteFile(device.get(), buffer, static_cast<rapi::DWORD>(got), &written) ||
            written != got)
            return false;
    }
}

}  // namespace

int copyToDevice(RapiBinding& rapi, const std::string& localPath, const std::string& devicePath) {
    if (!rapi.isLoaded()) return 0;
    platform::File local(localPath, platform::OpenMode::Read);
    if (!local.isOpen()) return 0;
    const std::string fresh = devicePath + kDeviceNewSuffix;
    const std::string old = devicePath + kDeviceOldSuffix;
    // An earlier replacement that was cut off between its two moves left the only copy of the
    // file under the old name: it goes back first. One that was cut off later left a spare.
    if (deviceEntryExists(rapi, old)) {
        if (deviceEntryExists(rapi, devicePath))
            deviceDeleteFile(rapi, old);
        else
            deviceMoveFile(rapi, old, devicePath);
    }
    if (!writeDeviceFile(rapi, local, fresh)) {
        deviceDeleteFile(rapi, fresh);
        return 0;
    }
    // The device cannot rename over a file: the old one steps aside until the new one is in.
    bool hadTarget = deviceMoveFile(rapi, devicePath, old) != 0;
    if (!deviceMoveFile(rapi, fresh, devicePath)) {
        if (hadTarget) deviceMoveFile(rapi, old, devicePath);
        deviceDeleteFile(rapi, fresh);
        return 0;
    }
    if (!hadTarget || deviceDeleteFile(rapi, old)) return 1;
    // The old file cannot go: it takes its place back, so that nothing is left beside the file
    // and the caller hears of a copy that did not happen.
    if (deviceMoveFile(rapi, devicePath, fresh) && deviceMoveFile(rapi, old, devicePath))
        deviceDeleteFile(rapi, fresh);
    return 0;
}

int copyToNewDeviceFile(RapiBinding& rapi, const std::string& localPath,
                        const std::string& devicePath) {
    if (!rapi.isLoaded()) return 0;
    platform::File local(localPath, platform::OpenMode::Read);
    if (!local.isOpen()) return 0;
    if (writeDeviceFile(rapi, local, devicePath, rapi::kCreateNew)) return 1;
    // Whatever was created is this copy's: CREATE_NEW fails on a file that was there.
    deviceDeleteFile(rapi, devicePath);
    return 0;
}

int copyFromDevice(RapiBinding& rapi, const std::string& devicePath, const std::string& localPath) {
    if (!rapi.isLoaded()) return 0;
    DeviceHandle device(
        rapi, rapi.CeCreateFile(wide(devicePath).c_str(), rapi::kGenericRead, rapi::kFileShareRead,
                                rapi::kOpenExisting, rapi::kFileAttributeNormal));
    if (!device.isValid()) return 0;
    platform::File local(localPath, platform::OpenMode::CreateAlways);
    if (!local.isOpen()) return 0;
    char buffer[kDeviceCopyChunk];
    for (;;) {
        rapi::DWORD got = 0;
        // A read that fails part way is a failed copy: the callers would otherwise take a
        // truncated file for the whole one (and write a truncated POI store back).
        if (rapi.CeReadFile(device.get(), buffer, sizeof buffer, &got) != 1) return 0;
        if (got > sizeof buffer) return 0;
        if (!local.write(buffer, got)) return 0;
        if (got < sizeof buffer) return 1;
    }
}

int renameRouteBook(RapiBinding& rapi, const std::string& root, const std::string& oldName,
                    const std::string& newName) {
    if (oldName == newName) return 1;
    const std::string& r = root;
    const std::string& o = oldName;
    const std::string& n = newName;
    const bool onDevice = !root.empty() && root[0] == '\\';
    std::vector<PathMove> moves;
    if (onDevice) {
        // The route file and its companion are renamed inside the old folder, then the folder.
        moves = {{r + o + ".trk", r + n + ".trk"},
                 {r + o + ".sim", r + n + ".sim"},
                 {r + o + "\\" + o + ".rut", r + o + "\\" + n + ".rut"},
                 {r + o + "\\" + o + ".tps", r + o + "\\" + n + ".tps"},
                 {r + o, r + n}};
    } else {
        // The folder is moved first, then the files inside it.
        const char sep = platform::kPathSeparator;
        moves = {{r + o + ".trk", r + n + ".trk"},
                 {r + o + ".sim", r + n + ".sim"},
                 {r + o, r + n},
                 {r + n + sep + o + ".rut", r + n + sep + n + ".rut"},
                 {r + n + sep + o + ".tps", r + n + sep + n + ".tps"}};
    }
    // Half a rename would split the set between two names, and neither would be whole.
    return moveAllOrNone(rapi, moves, true);
}

int moveAllOrNone(RapiBinding& rapi, const std::vector<PathMove>& moves, bool skipMissing) {
    if (moves.empty()) return 1;
    const bool onDevice = !moves[0].from.empty() && moves[0].from[0] == '\\';
    auto exists = [&](const std::string& path) {
        return onDevice ? deviceEntryExists(rapi, path)
                        : platform::fileExists(path) || platform::folderExists(path);
    };
    auto move = [&](const std::string& from, const std::string& to) {
        return onDevice ? deviceMoveFile(rapi, from, to) != 0 : platform::moveNoReplace(from, to);
    };
    std::vector<const PathMove*> done;
    for (const PathMove& m : moves) {
        if (skipMissing && !exists(m.from)) continue;
        if (move(m.from, m.to)) {
            done.push_back(&m);
            continue;
        }
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            move((*it)->to, (*it)->from);
        return 0;
    }
    return 1;
}

std::optional<std::vector<DeviceFindEntry>> findDeviceFilesWide(RapiBinding& rapi,
                                                                const std::u16string& pattern) {
    if (!rapi.isLoaded()) return std::nullopt;
    rapi::CE_FIND_DATA data{};
    rapi::HANDLE find = rapi.CeFindFirstFile(pattern.c_str(), &data);
    if (find == rapi::invalidHandleValue() || find == nullptr) return std::nullopt;
    std::vector<DeviceFindEntry> entries;
    do {
        DeviceFindEntry e;
        e.name = entryName(data);
        e.attributes = data.dwFileAttributes;
        e.lastWriteTime = fromRapiTime(data.ftLastWriteTime);
        e.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entries.push_back(std::move(e));
        data = rapi::CE_FIND_DATA{};
    } while (rapi.CeFindNextFile(find, &data));
    rapi.CeFindClose(find);
    return entries;
}

std::optional<std::vector<platform::FolderEntry>> findDeviceFiles(RapiBinding& rapi,
                                                                  const std::string& pattern) {
    auto found = findDeviceFilesWide(rapi, wide(pattern));
    if (!found) return std::nullopt;
    std::vector<platform::FolderEntry> entries;
    entries.reserve(found->size());
    for (const DeviceFindEntry& e : *found) {
        platform::FolderEntry out;
        out.name = platform::utf16ToAnsi(e.name);
        out.attributes = e.attributes;
        out.lastWriteTime = e.lastWriteTime;
        out.size = e.size;
        entries.push_back(std::move(out));
    }
    return entries;
}

std::optional<DeviceStoreInfo> deviceStoreInformation(RapiBinding& rapi) {
    if (!rapi.isLoaded()) return std::nullopt;
    rapi::STORE_INFORMATION info{};
    if (!rapi.CeGetStoreInformation(&info)) return std::nullopt;
    return DeviceStoreInfo{info.dwStoreSize, info.dwFreeSize};
}
