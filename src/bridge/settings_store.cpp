#include "bridge/settings_store.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace {
constexpr const char* kSection = "xxx";
constexpr const char* kSettingsFile = "vantu.ini";
// Within this of its last write a file may change again without changing its stamp: file times
// are kept in steps of up to 2 s (FAT, on which a portable copy keeps its settings), and the
// clock that stamps them moves in steps of its own.
constexpr platform::FileTime kStampResolution = 3 * 10'000'000;
}  // namespace

SettingsStore::SettingsStore(std::string folder) : folder_(std::move(folder)) {}

std::string SettingsStore::folderFor(const std::string& programFolder) {
    if (platform::isPortableFolder(programFolder)) return programFolder;
    std::string config = platform::userConfigFolder();
    // Without a home the settings stay beside the program, read-only as they are.
    if (config.empty()) return programFolder;
    std::string folder = platform::joinPath(config, "vantu");
    // ~/.config itself may not exist yet on a fresh account.
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || platform::isSeparatorAt(folder, at))
            platform::createFolder(folder.substr(0, at));
    }
    return folder + platform::kPathSeparator;
}

std::string SettingsStore::settingsFilePath() const {
    return folder_ + kSettingsFile;
}

SettingsStore::FileStamp SettingsStore::stamp() const {
    std::optional<platform::FileInfo> info = platform::fileInfo(settingsFilePath());
    if (!info) return {};
    return {true, info->size, info->lastWriteTime};
}

std::string SettingsStore::getValue(const std::string& key) const {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    // Taken before the file is read: a change meanwhile then shows in the next stamp.
    const FileStamp now = stamp();
    if (cachedStamp_ != now) {
        cachedValues_.clear();
        cachedStamp_ = now;
    }
    if (auto known = cachedValues_.find(key); known != cachedValues_.end()) return known->second;
    std::string value = platform::getProfileString(kSection, key, "", settingsFilePath(), 256);
    const bool settled =
        !now.exists || now.lastWriteTime + kStampResolution < platform::Clock().utcNow();
    if (settled) cachedValues_[key] = value;
    return value;
}

void SettingsStore::writeValue(const std::string& key, const char* value) const {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    platform::OsError error;
    if (!platform::writeProfileString(kSection, key, value, settingsFilePath(), &error)) {
        platform::addContext(error, "saving the setting " + key);
        platform::logOsError(error);
    }
    cachedValues_.clear();
    cachedStamp_.reset();
}

int SettingsStore::readIntSetting(const std::string& key) const {
    return platform::getProfileInt(kSection, key, 0, settingsFilePath());
}

void SettingsStore::writeIntSetting(const std::string& key, int n) const {
    char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    writeValue(key, text);
}

std::string SettingsStore::pathFor(const std::string& name) const {
    if (name.empty() || platform::isPathSeparator(name.front())) return {};
    if (name.size() >= 2 && name[1] == ':') return {};  // drive prefix ("C:", "C:\")
    std::string relative;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !platform::isPathSeparator(name[end]))
            ++end;
        std::string part = name.substr(start, end - start);
        if (part == "..") return {};
        if (!relative.empty() || start > 0) relative += platform::kPathSeparator;
        relative += part;
        start = end + 1;
    }
    return folder_ + relative;
}

std::string SettingsStore::getFileText(const std::string& name) const {
    std::string path = pathFor(name);
    std::string content;
    if (path.empty() || !platform::readWholeFile(path, content)) return {};
    size_t nul = content.find('\0');
    if (nul != std::string::npos) content.resize(nul);
    return content;
}

int SettingsStore::writeFileText(const std::string& name, const std::string& content) const {
    std::string path = pathFor(name);
    if (path.empty()) return 0;
    // Written beside the file and then put in its place whole: a write that fails part way (a
    // full disk, say) leaves the page's earlier text as it was.
    const std::string fresh = path + ".~new";
    const std::string_view text(content.data(), std::strlen(content.c_str()));
    platform::OsError error;
    if (!platform::writeNewFile(fresh, text, &error) ||
        !platform::moveIntoPlace(fresh, path, &error)) {
        platform::deleteFile(fresh);
        platform::addContext(error, "saving the page's file " + name);
        platform::logOsError(error);
        return 0;
    }
    return 1;
}
