#include "device/device_files.h"

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/file_replace.h"
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

namespace {

bool onDevice(const std::string& path) {
    return !path.empty() && path[0] == '\\';
}

bool deviceEntryExists(RapiBinding& rapi, const std::string& devicePath) {
    auto found = findDeviceFilesWide(rapi, wide(devicePath));
    return found && !found->empty();
}

// The few file operations a replacement makes, on the device or on the navigator's drive.
struct NavigatorFiles {
    RapiBinding& rapi;
    bool device;

    bool exists(const std::string& path) const {
        return device ? deviceEntryExists(rapi, path) : platform::fileExists(path);
    }
    bool remove(const std::string& path) const {
        return device ? deviceDeleteFile(rapi, path) != 0 : platform::deleteFile(path);
    }
    bool move(const std::string& from, const std::string& to) const {
        return device ? deviceMoveFile(rapi, from, to) != 0 : platform::moveNoReplace(from, to);
    }
};

// Writes what the source gives to a new device file; stamped with the current time before any
// data is written, or with the given time after it.
bool writeDeviceFile(RapiBinding& rapi, const std::string& devicePath,
                     const Replacement& replacement) {
    DeviceHandle device(
        rapi, rapi.CeCreateFile(wide(devicePath).c_str(), rapi::kGenericRead | rapi::kGenericWrite,
                                0, rapi::kCreateAlways, rapi::kFileAttributeNormal));
    if (!device.isValid()) return false;
    rapi::FILETIME stamp = toRapiTime(replacement.lastWriteTime ? replacement.lastWriteTime
                                                                : platform::clock().utcNow());
    if (!replacement.lastWriteTime) rapi.CeSetFileTime(device.get(), &stamp, &stamp, &stamp);
    char buffer[kDeviceCopyChunk];
    for (;;) {
        std::optional<size_t> got = replacement.source(buffer, sizeof buffer);
        if (!got || *got > sizeof buffer) return false;
        if (*got == 0) break;
        rapi::DWORD written = 0;
        if (!rapi.CeWriteFile(device.get(), buffer, static_cast<rapi::DWORD>(*got), &written) ||
            written != *got)
            return false;
    }
    return !replacement.lastWriteTime || rapi.CeSetFileTime(device.get(), &stamp, &stamp, &stamp);
}

bool writeLocalFile(const std::string& path, const Replacement& replacement) {
    platform::File out(path, platform::OpenMode::CreateAlways);
    if (!out.isOpen()) return false;
    char buffer[65536];
    for (;;) {
        std::optional<size_t> got = replacement.source(buffer, sizeof buffer);
        if (!got || *got > sizeof buffer) return false;
        if (*got == 0) break;
        if (!out.write(buffer, *got)) return false;
    }
    return !replacement.lastWriteTime || out.setTimes(replacement.lastWriteTime);
}

}  // namespace

bool isReplacementName(std::string_view name) {
    if (name.size() <= kDeviceReplaceSuffixLength) return false;
    std::string_view suffix = name.substr(name.size() - kDeviceReplaceSuffixLength);
    return suffix == kDeviceNewSuffix || suffix == kDeviceOldSuffix;
}

void finishInterruptedReplacement(RapiBinding& rapi, const std::string& path) {
    const NavigatorFiles files{rapi, onDevice(path)};
    const std::string fresh = path + kDeviceNewSuffix;
    const std::string old = path + kDeviceOldSuffix;
    // Cut off between its two moves, a replacement left the only copy of the file under the old
    // name: it goes back. Cut off later, it left a spare.
    if (files.exists(old)) {
        if (files.exists(path))
            files.remove(old);
        else
            files.move(old, path);
    }
    if (files.exists(fresh)) files.remove(fresh);
}

int writeReplacementCopy(RapiBinding& rapi, const std::string& path,
                         const Replacement& replacement) {
    const bool device = onDevice(path);
    if (device && !rapi.isLoaded()) return 0;
    finishInterruptedReplacement(rapi, path);
    const std::string fresh = path + kDeviceNewSuffix;
    const bool written =
        device ? writeDeviceFile(rapi, fresh, replacement) : writeLocalFile(fresh, replacement);
    if (written && (!replacement.check || replacement.check())) return 1;
    NavigatorFiles{rapi, device}.remove(fresh);
    return 0;
}

int putReplacementInPlace(RapiBinding& rapi, const std::string& path) {
    const bool device = onDevice(path);
    const NavigatorFiles files{rapi, device};
    const std::string fresh = path + kDeviceNewSuffix;
    if (!device) {
        if (platform::moveIntoPlace(fresh, path)) return 1;
        files.remove(fresh);
        return 0;
    }
    const std::string old = path + kDeviceOldSuffix;
    bool hadTarget = files.move(path, old);
    if (!files.move(fresh, path)) {
        if (hadTarget) files.move(old, path);
        files.remove(fresh);
        return 0;
    }
    if (hadTarget) files.remove(old);
    return 1;
}

void discardReplacementCopy(RapiBinding& rapi, const std::string& path) {
    NavigatorFiles{rapi, onDevice(path)}.remove(path + kDeviceNewSuffix);
}

int replaceNavigatorFile(RapiBinding& rapi, const std::string& path,
                         const Replacement& replacement) {
    return writeReplacementCopy(rapi, path, replacement) && putReplacementInPlace(rapi, path);
}

namespace {

// Reads an open device file to its end into the sink.
bool pumpDeviceFile(RapiBinding& rapi, const DeviceHandle& device, const ChunkSink& sink) {
    char buffer[kDeviceCopyChunk];
    for (;;) {
        rapi::DWORD got = 0;
        // A read that fails part way is a failed copy: the callers would otherwise take a
        // truncated file for the whole one (and write a truncated POI store back).
        if (rapi.CeReadFile(device.get(), buffer, sizeof buffer, &got) != 1) return false;
        if (got > sizeof buffer) return false;
        if (got > 0 && !sink(buffer, got)) return false;
        if (got < sizeof buffer) return true;
    }
}

DeviceHandle openForReading(RapiBinding& rapi, const std::string& devicePath) {
    return DeviceHandle(
        rapi, rapi.CeCreateFile(wide(devicePath).c_str(), rapi::kGenericRead, rapi::kFileShareRead,
                                rapi::kOpenExisting, rapi::kFileAttributeNormal));
}

}  // namespace

int readNavigatorFile(RapiBinding& rapi, const std::string& path, const ChunkSink& sink) {
    if (onDevice(path)) {
        if (!rapi.isLoaded()) return 0;
        DeviceHandle device = openForReading(rapi, path);
        return device.isValid() && pumpDeviceFile(rapi, device, sink) ? 1 : 0;
    }
    platform::File in(path, platform::OpenMode::Read);
    int64_t size = in.size();
    if (!in.isOpen() || size < 0) return 0;
    int64_t total = 0;
    char buffer[65536];
    while (size_t got = in.read(buffer, sizeof buffer)) {
        if (!sink(buffer, got)) return 0;
        total += static_cast<int64_t>(got);
    }
    // A read error looks like the end of the file: only the whole file counts.
    return total == size ? 1 : 0;
}

int copyToDevice(RapiBinding& rapi, const std::string& localPath, const std::string& devicePath) {
    if (!rapi.isLoaded() || !onDevice(devicePath)) return 0;
    platform::File local(localPath, platform::OpenMode::Read);
    if (!local.isOpen()) return 0;
    Replacement replacement;
    replacement.source = [&local](char* buffer, size_t n) -> std::optional<size_t> {
        return local.read(buffer, n);
    };
    return replaceNavigatorFile(rapi, devicePath, replacement);
}

int copyFromDevice(RapiBinding& rapi, const std::string& devicePath, const std::string& localPath) {
    if (!rapi.isLoaded()) return 0;
    DeviceHandle device = openForReading(rapi, devicePath);
    if (!device.isValid()) return 0;
    platform::File local(localPath, platform::OpenMode::CreateAlways);
    if (!local.isOpen()) return 0;
    return pumpDeviceFile(rapi, device,
                          [&local](const char* data, size_t n) { return local.write(data, n); })
               ? 1
               : 0;
}

int renameRouteBook(RapiBinding& rapi, const std::string& root, const std::string& oldName,
                    const std::string& newName) {
    if (oldName == newName) return 1;
    const std::string& r = root;
    const std::string& o = oldName;
    const std::string& n = newName;
    const bool onDevice = !root.empty() && root[0] == '\\';
    struct Move {
        std::string from;
        std::string to;
    };
    std::vector<Move> moves;
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
    auto exists = [&](const std::string& path) {
        return onDevice ? deviceEntryExists(rapi, path)
                        : platform::fileExists(path) || platform::folderExists(path);
    };
    auto move = [&](const std::string& from, const std::string& to) {
        return onDevice ? deviceMoveFile(rapi, from, to) != 0 : platform::moveNoReplace(from, to);
    };
    // Half a rename would split the set between two names, and neither would be whole: a move
    // that fails takes the ones made before it back.
    std::vector<const Move*> done;
    for (const Move& m : moves) {
        if (!exists(m.from)) continue;  // a set without .sim or .tps
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
