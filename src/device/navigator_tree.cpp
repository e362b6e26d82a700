#include "device/navigator_tree.h"

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace {

using platform::EntryKind;

rapi::FILETIME toRapiTime(platform::FileTime time) {
    return {static_cast<rapi::DWORD>(time & 0xFFFFFFFFu), static_cast<rapi::DWORD>(time >> 32)};
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

bool pumpIntoLocal(platform::File& out, const Replacement& replacement, platform::OsError* error) {
    std::vector<char> buffer(kLocalCopyChunk);
    for (;;) {
        std::optional<size_t> got = replacement.source(buffer.data(), buffer.size());
        if (!got || *got > buffer.size()) return false;
        if (*got == 0) break;
        if (!out.write(buffer.data(), *got, error)) return false;
    }
    return !replacement.lastWriteTime || out.setTimes(replacement.lastWriteTime);
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

bool pumpLocalFile(platform::File& in, const ChunkSink& sink, platform::OsError* error) {
    const int64_t size = in.size();
    if (size < 0) return false;
    std::vector<char> buffer(kLocalCopyChunk);
    int64_t total = 0;
    while (size_t got = in.read(buffer.data(), buffer.size(), error)) {
        if (!sink(buffer.data(), got)) return false;
        total += static_cast<int64_t>(got);
    }
    // A read error looks like the end of the file: only the whole file counts.
    return total == size;
}

platform::DriveEntry entryOf(DeviceFindEntry found) {
    platform::DriveEntry entry;
    entry.name = std::move(found.name);
    entry.kind =
        (found.attributes & platform::kAttrDirectory) ? EntryKind::Folder : EntryKind::File;
    entry.size = found.size;
    entry.lastWriteTime = found.lastWriteTime;
    return entry;
}

}  // namespace

NavigatorTree::NavigatorTree(RapiBinding& rapi, const std::string& folder, std::u16string base)
    : rapi_(rapi),
      device_(!folder.empty() && folder[0] == '\\'),
      folder_(folder),
      root_(platform::ansiToUtf16(folder)),
      base_(std::move(base)) {
    if (!device_) drive_ = std::make_unique<platform::DriveFolder>(folder);
}

NavigatorTree::~NavigatorTree() = default;

bool NavigatorTree::reachable() const {
    return device_ ? rapi_.isLoaded() : drive_->isOpen();
}

size_t NavigatorTree::pathUnits(std::u16string_view name) const {
    return root_.size() + base_.size() + name.size();
}

std::u16string NavigatorTree::devicePath(std::u16string_view name) const {
    return root_ + base_ + std::u16string(name);
}

std::u16string NavigatorTree::onDrive(std::u16string_view name) const {
    return base_ + std::u16string(name);
}

std::optional<std::vector<platform::DriveEntry>> NavigatorTree::list(
    std::u16string_view folder) const {
    if (!device_) {
        std::u16string below = onDrive(folder);
        if (!below.empty() && below.back() == u'\\') below.pop_back();
        return drive_->list(below);
    }
    std::u16string pattern = devicePath(folder);
    if (!pattern.empty() && pattern.back() != u'\\') pattern += u'\\';
    pattern += u'*';
    // The device answers an empty folder as it answers a search that failed: asked again, a
    // search that failed once finds what is there.
    auto found = findDeviceFilesWide(rapi_, pattern);
    if (!found) found = findDeviceFilesWide(rapi_, pattern);
    if (!found) return std::nullopt;
    std::vector<platform::DriveEntry> entries;
    for (DeviceFindEntry& e : *found)
        if (e.name != u"." && e.name != u"..") entries.push_back(entryOf(std::move(e)));
    return entries;
}

std::optional<EntryKind> NavigatorTree::kindOf(std::u16string_view name) const {
    if (!device_) return drive_->kindOf(onDrive(name));
    auto found = findDeviceFilesWide(rapi_, devicePath(name));
    if (!found || found->empty()) return std::nullopt;
    return entryOf(std::move(found->front())).kind;
}

bool NavigatorTree::read(std::u16string_view name, const ChunkSink& sink,
                         platform::OsError* error) const {
    if (!device_) {
        platform::File in;
        return drive_->openFile(onDrive(name), platform::OpenMode::Read, in, error) &&
               pumpLocalFile(in, sink, error);
    }
    if (!rapi_.isLoaded()) return false;
    DeviceHandle device(rapi_, rapi_.CeCreateFile(devicePath(name).c_str(), rapi::kGenericRead,
                                                  rapi::kFileShareRead, rapi::kOpenExisting,
                                                  rapi::kFileAttributeNormal));
    return device.isValid() && pumpDeviceFile(rapi_, device, sink);
}

bool NavigatorTree::writeNew(std::u16string_view name, const Replacement& replacement,
                             platform::OsError* error) const {
    bool written = false;
    if (!device_) {
        platform::File out;
        if (!drive_->openFile(onDrive(name), platform::OpenMode::CreateNew, out, error))
            return false;
        written = pumpIntoLocal(out, replacement, error);
    } else {
        if (!rapi_.isLoaded()) return false;
        DeviceHandle device(
            rapi_,
            rapi_.CeCreateFile(devicePath(name).c_str(), rapi::kGenericRead | rapi::kGenericWrite,
                               0, rapi::kCreateNew, rapi::kFileAttributeNormal));
        if (!device.isValid()) return false;
        written = pumpIntoDevice(rapi_, device, replacement);
    }
    // The creation fails on a file that was there: whatever was created goes again.
    if (!written) remove(name);
    return written;
}

bool NavigatorTree::createFolder(std::u16string_view name, platform::OsError* error) const {
    if (!device_) return drive_->createFolder(onDrive(name), error);
    return rapi_.isLoaded() && rapi_.CeCreateDirectory(devicePath(name).c_str());
}

bool NavigatorTree::removeFolder(std::u16string_view name) const {
    if (!device_) return drive_->removeFolder(onDrive(name));
    return rapi_.isLoaded() && rapi_.CeRemoveDirectory(devicePath(name).c_str());
}

bool NavigatorTree::remove(std::u16string_view name) const {
    if (!device_) return drive_->removeFile(onDrive(name));
    return rapi_.isLoaded() && rapi_.CeDeleteFile(devicePath(name).c_str());
}

bool NavigatorTree::move(std::u16string_view from, std::u16string_view to) const {
    if (!device_) return drive_->moveNoReplace(onDrive(from), onDrive(to));
    return rapi_.isLoaded() && rapi_.CeMoveFile(devicePath(from).c_str(), devicePath(to).c_str());
}

namespace {

std::u16string withSuffix(std::u16string_view name, const char* suffix) {
    return std::u16string(name) + platform::ansiToUtf16(suffix);
}

}  // namespace

void NavigatorTree::finishInterrupted(std::u16string_view name) const {
    const std::u16string fresh = withSuffix(name, kDeviceNewSuffix);
    const std::u16string old = withSuffix(name, kDeviceOldSuffix);
    // Cut off between its two moves, a replacement left the only copy of the file under the old
    // name: it goes back. Cut off later, it left a spare.
    if (kindOf(old) == EntryKind::File) {
        if (kindOf(name))
            remove(old);
        else
            move(old, name);
    }
    if (kindOf(fresh) == EntryKind::File) remove(fresh);
}

bool NavigatorTree::writeCopy(std::u16string_view name, const Replacement& replacement,
                              platform::OsError* error) const {
    if (!reachable()) return false;
    finishInterrupted(name);
    const std::u16string fresh = withSuffix(name, kDeviceNewSuffix);
    if (!writeNew(fresh, replacement, error)) return false;
    if (!replacement.check || replacement.check()) return true;
    remove(fresh);
    return false;
}

bool NavigatorTree::putInPlace(std::u16string_view name, platform::OsError* error) const {
    const std::u16string fresh = withSuffix(name, kDeviceNewSuffix);
    const std::optional<EntryKind> standing = kindOf(name);
    // Only a file is ever replaced: a folder (or a link) keeps its name, and stays whole.
    if (standing && standing != EntryKind::File) {
        remove(fresh);
        return false;
    }
    if (!device_) {
        if (drive_->moveIntoPlace(onDrive(fresh), onDrive(name), error)) return true;
        remove(fresh);
        return false;
    }
    // The device cannot rename over a file: the old one steps aside for the instant between two
    // moves.
    const std::u16string old = withSuffix(name, kDeviceOldSuffix);
    const bool hadTarget = move(name, old);
    if (move(fresh, name)) {
        if (!hadTarget || remove(old)) return true;
        // The old file cannot go: the two change places back, so that nothing is left beside
        // the file and the caller hears of a replacement that did not happen.
        if (move(name, fresh) && !move(old, name)) move(fresh, name);
    } else if (hadTarget) {
        move(old, name);
    }
    remove(fresh);
    return false;
}

void NavigatorTree::discardCopy(std::u16string_view name) const {
    remove(withSuffix(name, kDeviceNewSuffix));
}

std::pair<std::string, std::u16string> splitNavigatorPath(const std::string& path) {
    size_t cut = platform::lastSeparator(path);
    if (cut == std::string::npos) return {std::string(), platform::ansiToUtf16(path)};
    return {path.substr(0, cut + 1), platform::ansiToUtf16(path.substr(cut + 1))};
}
