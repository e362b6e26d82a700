#include "device/device_connection.h"

#include <optional>
#include <vector>

#include "device/device_files.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

constexpr char kProbeName[] = "aaa.dat";

template <class Char>
Char foldAscii(Char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <class String>
bool equalsFolded(const String& entry, const String& lowerName) {
    if (entry.size() != lowerName.size()) return false;
    for (size_t i = 0; i < entry.size(); ++i)
        if (foldAscii(entry[i]) != lowerName[i]) return false;
    return true;
}

// One search over local folders or device folders. Lister(pattern) gives the entries of a
// folder as (name, attributes) pairs or nothing; Fits(path) says whether a folder path leaves
// room for its separator and wildcard.
template <class String, class Lister, class Fits>
bool findPair(String& path, const String& name, const String* next,
              typename String::value_type separator, Lister& list, Fits& fits) {
    String base = path;
    if (base.empty() || base.back() != separator) base += separator;
    String pattern = base;
    pattern += static_cast<typename String::value_type>('*');
    auto entries = list(pattern);
    if (!entries) return false;

    auto qualifies = [](const auto& entry) {
        return entry.second == platform::kAttrDirectory && !entry.first.empty() &&
               entry.first[0] != '.';
    };
    // Direct children first.
    for (const auto& entry : *entries) {
        if (!qualifies(entry) || !equalsFolded(entry.first, name)) continue;
        String candidate = base + entry.first;
        if (!fits(candidate)) continue;
        if (next == nullptr) {
            path = candidate;
            return true;
        }
        if (findPair(candidate, *next, static_cast<const String*>(nullptr), separator, list,
                     fits)) {
            path = candidate;
            return true;
        }
        break;  // the other children are not compared
    }
    // Then the descent.
    for (const auto& entry : *entries) {
        if (!qualifies(entry)) continue;
        String candidate = base + entry.first;
        if (!fits(candidate)) continue;
        if (findPair(candidate, name, next, separator, list, fits)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

using LocalEntries = std::optional<std::vector<std::pair<std::string, uint32_t>>>;
using DeviceEntries = std::optional<std::vector<std::pair<std::u16string, uint32_t>>>;

}  // namespace

int probeFolder(const std::string& folder) {
    std::string path = folder + kProbeName;
    {
        platform::File probe(path, platform::OpenMode::CreateAlways);
        if (!probe.isOpen()) return 0;
    }
    platform::deleteFile(path);
    return 1;
}

int probeDeviceFolder(RapiBinding& rapi, const std::string& folder) {
    if (!rapi.isLoaded()) return 0;
    std::u16string path = platform::ansiToUtf16(folder + kProbeName);
    rapi::HANDLE probe = rapi.CeCreateFile(path.c_str(), rapi::kGenericRead, rapi::kFileShareRead,
                                           rapi::kCreateAlways, rapi::kFileAttributeNormal);
    if (probe == rapi::invalidHandleValue() || probe == nullptr) return 0;
    rapi.CeCloseHandle(probe);
    rapi.CeDeleteFile(path.c_str());
    return 1;
}

bool findFolderPair(std::string& path, const std::string& name, const std::string* next) {
    auto list = [](const std::string& pattern) -> LocalEntries {
        auto found = platform::findFiles(pattern);
        if (!found) return std::nullopt;
        std::vector<std::pair<std::string, uint32_t>> out;
        for (auto& e : *found)
            out.emplace_back(std::move(e.name), e.attributes);
        return out;
    };
    auto fits = [](const std::string& candidate) { return candidate.size() + 2 <= kMaxSearchPath; };
    return findPair(path, name, next, platform::kPathSeparator, list, fits);
}

bool findDeviceFolderPair(RapiBinding& rapi, std::u16string& path, const std::u16string& name,
                          const std::u16string* next) {
    auto list = [&rapi](const std::u16string& pattern) -> DeviceEntries {
        auto found = findDeviceFilesWide(rapi, pattern);
        if (!found) return std::nullopt;
        std::vector<std::pair<std::u16string, uint32_t>> out;
        for (auto& e : *found)
            out.emplace_back(std::move(e.name), e.attributes);
        return out;
    };
    // The found path also has to fit as ANSI text, the form in which the program keeps it.
    auto fits = [](const std::u16string& candidate) {
        return candidate.size() + 2 <= kMaxSearchPath &&
               platform::utf16ToAnsi(candidate).size() + 2 <= kMaxSearchPath;
    };
    return findPair(path, name, next, u'\\', list, fits);
}

int findOnRemovableDrives(std::string& out, const std::string& first, const std::string& second) {
    for (const std::string& root : platform::removableDrives()) {
        std::string path = root;
        if (path.size() + 2 > kMaxSearchPath) continue;
        if (findFolderPair(path, first, &second)) {
            out = path + platform::kPathSeparator;
            return 1;
        }
    }
    out.clear();
    return 0;
}

int findOnDevice(RapiBinding& rapi, std::string& out, const std::u16string& first,
                 const std::u16string& second) {
    if (!rapi.isLoaded()) return 0;
    auto roots = findDeviceFilesWide(rapi, u"\\*");
    if (!roots) return 0;
    constexpr uint32_t kMountedStorage = platform::kAttrDirectory | platform::kAttrTemporary;
    for (const DeviceFindEntry& entry : *roots) {
        if ((entry.attributes & kMountedStorage) != kMountedStorage) continue;
        std::u16string path = u"\\" + entry.name;
        if (path.size() + 2 > kMaxSearchPath) continue;
        if (findDeviceFolderPair(rapi, path, first, &second)) {
            out = platform::utf16ToAnsi(path) + "\\";
            return 1;
        }
    }
    return 0;
}

namespace {

// Whether the remote link is up for a search. Without a watch (the terminal, tests) the search
// restarts the link and waits up to 2000 ms for it.
bool remoteLinkUp(DeviceLink& device) {
    if (!device.rapi.isLoaded()) return false;
    // A watched link is only looked at. The window thus never waits for a navigator that is not
    // there: instead of restarting the link and waiting up to 2000 ms for it at every search,
    // it answers from the link that its watch started at the program's start or at the last
    // device change without a navigator, and hears from the watch when that link comes up.
    if (device.linkWatch) return device.rapi.pollRemoteLink() == RapiBinding::LinkState::Up;
    device.rapi.CeRapiUninit();
    return device.rapi.openRemoteLink() == 1;
}

}  // namespace

int findNavigator(DeviceLink& device) {
    if (!device.dataRoot.empty()) {
        if (device.dataRoot[0] == '\\') {
            if (probeDeviceFolder(device.rapi, device.dataRoot)) {
                device.mode = RapiDevice;
                device.connected = 1;
                return 1;
            }
        } else if (probeFolder(device.dataRoot)) {
            device.mode = RemovableDrive;
            device.connected = 1;
            return 1;
        }
    }
    std::string found;
    if (findOnRemovableDrives(found, "userdata", "track")) {
        device.mode = RemovableDrive;
        device.connected = 1;
        device.dataRoot = found;
        return 1;
    }
    if (remoteLinkUp(device) && findOnDevice(device.rapi, found, u"userdata", u"track")) {
        device.mode = RapiDevice;
        device.connected = 1;
        device.dataRoot = found;
        return 1;
    }
    device.dataRoot.clear();
    device.mode = NotConnected;
    device.connected = 0;
    return 0;
}

int isConnected(const DeviceLink& device) {
    return device.connected;
}
