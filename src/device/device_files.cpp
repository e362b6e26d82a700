#include "device/device_files.h"

#include "device/navigator_tree.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/file_replace.h"
#include "platform/paths.h"

namespace {

std::u16string wide(const std::string& devicePath) {
    return platform::ansiToUtf16(devicePath);
}

platform::FileTime fromRapiTime(const rapi::FILETIME& time) {
    return (static_cast<platform::FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

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

bool NavigatorFiles::copyNew(const std::string& localPath, const std::string& path,
                             platform::OsError* error) const {
    if (!device_) return platform::copyFile(localPath, path, true, error);
    platform::File local(localPath, platform::OpenMode::Read, error);
    if (!local.isOpen()) return false;
    Replacement copy;
    copy.source = localSource(local);
    auto [folder, name] = splitNavigatorPath(path);
    return NavigatorTree(rapi_, folder).writeNew(name, copy);
}

bool NavigatorFiles::copyOut(const std::string& path, const std::string& localPath,
                             platform::OsError* error) const {
    return device_ ? copyFromDevice(rapi_, path, localPath) != 0
                   : platform::copyFile(path, localPath, false, error);
}

namespace {

// The name's last three characters in lower case: the navigator ignores letter case, so "A~VO"
// is the parked name of "A" as much as "A~vo".
std::string suffixOf(std::string_view name) {
    if (name.size() <= kDeviceReplaceSuffixLength) return {};
    std::string suffix(name.substr(name.size() - kDeviceReplaceSuffixLength));
    for (char& c : suffix)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return suffix;
}

}  // namespace

bool isReplacementName(std::string_view name) {
    std::string suffix = suffixOf(name);
    return suffix == kDeviceNewSuffix || suffix == kDeviceOldSuffix;
}

bool isParkedName(std::string_view name) {
    return suffixOf(name) == kDeviceOldSuffix;
}

namespace {

// Runs one step of a replacement on the file at the ANSI path.
template <class Step>
auto onFile(RapiBinding& rapi, const std::string& path, Step step) {
    auto [folder, name] = splitNavigatorPath(path);
    NavigatorTree tree(rapi, folder);
    return step(tree, name);
}

}  // namespace

void finishInterruptedReplacement(RapiBinding& rapi, const std::string& path) {
    onFile(rapi, path, [](const NavigatorTree& tree, const std::u16string& name) {
        if (tree.reachable()) tree.finishInterrupted(name);
    });
}

int writeReplacementCopy(RapiBinding& rapi, const std::string& path,
                         const Replacement& replacement) {
    return onFile(rapi, path, [&](const NavigatorTree& tree, const std::u16string& name) {
        return tree.writeCopy(name, replacement) ? 1 : 0;
    });
}

int putReplacementInPlace(RapiBinding& rapi, const std::string& path) {
    return onFile(rapi, path, [](const NavigatorTree& tree, const std::u16string& name) {
        return tree.reachable() && tree.putInPlace(name) ? 1 : 0;
    });
}

void discardReplacementCopy(RapiBinding& rapi, const std::string& path) {
    onFile(rapi, path, [](const NavigatorTree& tree, const std::u16string& name) {
        if (tree.reachable()) tree.discardCopy(name);
    });
}

int replaceNavigatorFile(RapiBinding& rapi, const std::string& path,
                         const Replacement& replacement) {
    return onFile(rapi, path, [&](const NavigatorTree& tree, const std::u16string& name) {
        return tree.writeCopy(name, replacement) && tree.putInPlace(name) ? 1 : 0;
    });
}

int readNavigatorFile(RapiBinding& rapi, const std::string& path, const ChunkSink& sink) {
    return onFile(rapi, path, [&](const NavigatorTree& tree, const std::u16string& name) {
        return tree.read(name, sink) ? 1 : 0;
    });
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
    if (!rapi.isLoaded() || !isDevicePath(devicePath)) return 0;
    platform::File local;
    // Made once the device file has opened: a file that is not there leaves nothing.
    auto opened = [&] {
        return local.isOpen() || local.open(localPath, platform::OpenMode::CreateAlways);
    };
    const bool read = readNavigatorFile(rapi, devicePath, [&](const char* data, size_t n) {
                          return opened() && local.write(data, n);
                      }) != 0;
    return read && opened() ? 1 : 0;
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
