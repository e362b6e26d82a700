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

bool deviceEntryExists(RapiBinding& rapi, const std::string& devicePath) {
    auto found = findDeviceFilesWide(rapi, wide(devicePath));
    return found && !found->empty();
}

namespace {

bool isDevicePath(const std::string& path) {
    return !path.empty() && path[0] == '\\';
}

// Where the bytes of a local file go into a copy.
ChunkSource localSource(platform::File& local) {
    return
        [&local](char* buffer, size_t n) -> std::optional<size_t> { return local.read(buffer, n); };
}

// Writes what the source gives into an open device file, stamped with the current time before
// any data is written, or with the given time after it.
bool pumpIntoDevice(RapiBinding& rapi, const DeviceHandle& device, const Replacement& replacement) {
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

bool pumpIntoLocal(platform::File& out, const Replacement& replacement) {
    char buffer[65536];
    for (;;) {
        std::optional<size_t> got = replacement.source(buffer, sizeof buffer);
        if (!got || *got > sizeof buffer) return false;
        if (*got == 0) break;
        if (!out.write(buffer, *got)) return false;
    }
    return !replacement.lastWriteTime || out.setTimes(replacement.lastWriteTime);
}

// Writes what the source gives to a navigator's file that does not exist yet. Whatever was
// created goes again when the copy fails: the creation fails on a file that was there.
bool writeNewFile(RapiBinding& rapi, const std::string& path, const Replacement& replacement) {
    bool written = false;
    if (isDevicePath(path)) {
        if (!rapi.isLoaded()) return false;
        DeviceHandle device(
            rapi, rapi.CeCreateFile(wide(path).c_str(), rapi::kGenericRead | rapi::kGenericWrite, 0,
                                    rapi::kCreateNew, rapi::kFileAttributeNormal));
        if (!device.isValid()) return false;
        written = pumpIntoDevice(rapi, device, replacement);
    } else {
        platform::File out(path, platform::OpenMode::CreateNew);
        if (!out.isOpen()) return false;
        written = pumpIntoLocal(out, replacement);
    }
    if (!written) NavigatorFiles::of(rapi, path).remove(path);
    return written;
}

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

NavigatorFiles NavigatorFiles::of(RapiBinding& rapi, const std::string& path) {
    return NavigatorFiles(rapi, isDevicePath(path));
}

bool NavigatorFiles::exists(const std::string& path) const {
    return device_ ? deviceEntryExists(rapi_, path)
                   : platform::fileExists(path) || platform::folderExists(path);
}

bool NavigatorFiles::isFolder(const std::string& path) const {
    if (!device_) return platform::folderExists(path);
    auto found = findDeviceFiles(rapi_, path);
    return found && found->size() == 1 && ((*found)[0].attributes & platform::kAttrDirectory);
}

std::optional<std::vector<platform::FolderEntry>> NavigatorFiles::list(
    const std::string& folder) const {
    if (!device_) return platform::listFolder(folder);
    // The trail byte of a double-byte character may have the value of '\\'.
    const bool closed = !folder.empty() && platform::isSeparatorAt(folder, folder.size() - 1);
    const std::string pattern = folder + (closed ? "*" : "\\*");
    // The device answers an empty folder as it answers a search that failed: asked again, a
    // search that failed once finds what is there.
    auto found = findDeviceFiles(rapi_, pattern);
    return found ? found : findDeviceFiles(rapi_, pattern);
}

std::optional<std::vector<platform::FolderEntry>> NavigatorFiles::find(
    const std::string& pattern) const {
    return device_ ? findDeviceFiles(rapi_, pattern) : platform::findFiles(pattern);
}

bool NavigatorFiles::createFolder(const std::string& path) const {
    return device_ ? deviceCreateFolder(rapi_, path) != 0
                   : !platform::folderExists(path) && platform::createFolder(path);
}

bool NavigatorFiles::removeFolder(const std::string& path) const {
    return device_ ? deviceRemoveFolder(rapi_, path) != 0 : platform::removeFolder(path);
}

bool NavigatorFiles::remove(const std::string& path) const {
    return device_ ? deviceDeleteFile(rapi_, path) != 0 : platform::deleteFile(path);
}

bool NavigatorFiles::move(const std::string& from, const std::string& to) const {
    return device_ ? deviceMoveFile(rapi_, from, to) != 0 : platform::moveNoReplace(from, to);
}

bool NavigatorFiles::moveAllOrNone(const std::vector<PathMove>& moves, bool skipMissing) const {
    std::vector<const PathMove*> done;
    for (const PathMove& m : moves) {
        if (move(m.from, m.to)) {
            done.push_back(&m);
            continue;
        }
        // Asked only when a move fails: a set without .sim or .tps, a file that is new.
        if (skipMissing && !exists(m.from)) continue;
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            move((*it)->to, (*it)->from);
        return false;
    }
    return true;
}

bool NavigatorFiles::copyNew(const std::string& localPath, const std::string& path) const {
    if (!device_) return platform::copyFile(localPath, path, true);
    platform::File local(localPath, platform::OpenMode::Read);
    if (!local.isOpen()) return false;
    Replacement copy;
    copy.source = localSource(local);
    return writeNewFile(rapi_, path, copy);
}

bool NavigatorFiles::copyOut(const std::string& path, const std::string& localPath) const {
    return device_ ? copyFromDevice(rapi_, path, localPath) != 0
                   : platform::copyFile(path, localPath, false);
}

bool isReplacementName(std::string_view name) {
    if (name.size() <= kDeviceReplaceSuffixLength) return false;
    std::string_view suffix = name.substr(name.size() - kDeviceReplaceSuffixLength);
    return suffix == kDeviceNewSuffix || suffix == kDeviceOldSuffix;
}

void finishInterruptedReplacement(RapiBinding& rapi, const std::string& path) {
    const NavigatorFiles files = NavigatorFiles::of(rapi, path);
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
    if (isDevicePath(path) && !rapi.isLoaded()) return 0;
    finishInterruptedReplacement(rapi, path);
    const std::string fresh = path + kDeviceNewSuffix;
    if (!writeNewFile(rapi, fresh, replacement)) return 0;
    if (!replacement.check || replacement.check()) return 1;
    NavigatorFiles::of(rapi, path).remove(fresh);
    return 0;
}

int putReplacementInPlace(RapiBinding& rapi, const std::string& path) {
    const NavigatorFiles files = NavigatorFiles::of(rapi, path);
    const std::string fresh = path + kDeviceNewSuffix;
    if (!files.onDevice()) {
        if (platform::moveIntoPlace(fresh, path)) return 1;
        files.remove(fresh);
        return 0;
    }
    // The device cannot rename over a file: the old one steps aside for the instant between two
    // moves.
    const std::string old = path + kDeviceOldSuffix;
    const bool hadTarget = files.move(path, old);
    if (files.move(fresh, path)) {
        if (!hadTarget || files.remove(old)) return 1;
        // The old file cannot go: the two change places back, so that nothing is left beside
        // the file and the caller hears of a replacement that did not happen.
        files.moveAllOrNone({{path, fresh}, {old, path}}, false);
    } else if (hadTarget) {
        files.move(old, path);
    }
    files.remove(fresh);
    return 0;
}

void discardReplacementCopy(RapiBinding& rapi, const std::string& path) {
    NavigatorFiles::of(rapi, path).remove(path + kDeviceNewSuffix);
}

int replaceNavigatorFile(RapiBinding& rapi, const std::string& path,
                         const Replacement& replacement) {
    return writeReplacementCopy(rapi, path, replacement) && putReplacementInPlace(rapi, path);
}

int readNavigatorFile(RapiBinding& rapi, const std::string& path, const ChunkSink& sink) {
    if (isDevicePath(path)) {
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
    if (!rapi.isLoaded() || !isDevicePath(devicePath)) return 0;
    platform::File local(localPath, platform::OpenMode::Read);
    if (!local.isOpen()) return 0;
    Replacement replacement;
    replacement.source = localSource(local);
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
    const NavigatorFiles files = NavigatorFiles::of(rapi, root);
    std::vector<PathMove> moves;
    if (files.onDevice()) {
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
    return files.moveAllOrNone(moves, true) ? 1 : 0;
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
