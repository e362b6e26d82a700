#include "tasks/backup_manifest.h"

#include <algorithm>
#include <charconv>
#include <numeric>

#include "device/device_files.h"
#include "device/device_names.h"
#include "platform/codepage.h"
#include "platform/utf8_text.h"

namespace {

// Eight lowercase hexadecimal digits.
std::optional<uint32_t> crcField(std::string_view text) {
    uint32_t value = 0;
    if (text.size() != 8) return std::nullopt;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

std::string crcText(uint32_t crc) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, crc >>= 4)
        out[static_cast<size_t>(i)] = kDigits[crc & 0xF];
    return out;
}

std::optional<uint64_t> decimal(std::string_view text) {
    uint64_t value = 0;
    if (text.empty() || text.size() > 20) return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Takes the text up to the next space off the front of `line`.
std::string_view takeField(std::string_view& line) {
    size_t space = line.find(' ');
    if (space == std::string_view::npos) space = line.size();
    std::string_view field = line.substr(0, space);
    line.remove_prefix(space == line.size() ? space : space + 1);
    return field;
}

std::optional<BackupFile> parseLine(std::string_view line, bool gbkNames, std::string& problem) {
    BackupFile file;
    std::optional<uint32_t> crc = crcField(takeField(line));
    std::optional<uint64_t> size = decimal(takeField(line));
    std::optional<uint64_t> time = decimal(takeField(line));
    if (!crc || !size || !time || line.empty()) {
        problem = "a line of the manifest is not \"CRC SIZE TIME NAME\"";
        return std::nullopt;
    }
    file.crc = *crc;
    file.size = *size;
    file.lastWriteTime = *time;
    file.name = gbkNames ? utf8::fromUtf16(platform::gbkToUtf16(line)) : std::string(line);
    if (file.size > kMaxBackupFileBytes) {
        problem = "the manifest lists a file of 4 GiB or more: " + file.name;
        return std::nullopt;
    }
    std::string why = backupNameProblem(file.name);
    if (!why.empty()) {
        problem = "the manifest lists " + file.name + ", " + why;
        return std::nullopt;
    }
    return file;
}

// Why one part of a name between "\" cannot be, or null.
const char* partProblem(std::u16string_view part) {
    if (part.empty() || part == u"." || part == u"..")
        return "a name that is absolute or leaves its folder";
    if (part.back() == u'.' || part.back() == u' ')
        return "a name ending with a dot or a space, which the navigator cannot hold";
    for (char16_t c : part)
        if (c < 0x20 || std::u16string_view(u"/:*?\"<>|").find(c) != std::u16string_view::npos)
            return "a name with a character the navigator cannot hold";
    return nullptr;
}

// A name as the navigator compares it, with "\" as the smallest unit there is (names hold no
// control characters): sorted, the names below a folder come right after the folder's own.
std::u16string sortKey(std::string_view name) {
    std::u16string key = foldDeviceName(utf8::toUtf16(name));
    std::replace(key.begin(), key.end(), u'\\', u'\x01');
    return key;
}

}  // namespace

std::string backupNameProblem(std::string_view name) {
    if (name.empty()) return "an empty name";
    std::u16string wide = utf8::toUtf16(name);
    if (utf8::fromUtf16(wide) != name) return "a name that is not UTF-8 text";
    if (wide.size() > kMaxBackupNameUnits) return "a name longer than a navigator holds";
    size_t folders = 0;
    for (size_t start = 0;; ++folders) {
        size_t end = wide.find(u'\\', start);
        std::u16string_view part(wide.data() + start,
                                 (end == wide.npos ? wide.size() : end) - start);
        if (const char* why = partProblem(part)) return why;
        if (end == wide.npos) break;
        start = end + 1;
    }
    if (folders > kMaxBackupFolderDepth) return "a name deeper in folders than a navigator's";
    if (isReplacementName(name)) return "a name that the program keeps for its own copies";
    return {};
}

std::vector<NameClash> clashingNames(const std::vector<std::string_view>& names) {
    std::vector<std::u16string> keys;
    keys.reserve(names.size());
    for (std::string_view name : names)
        keys.push_back(sortKey(name));
    std::vector<size_t> order(names.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    std::vector<NameClash> clashes;
    const std::u16string* file = nullptr;  // the last name that clashed with none before it
    size_t fileIndex = 0;
    for (size_t i : order) {
        const std::u16string& key = keys[i];
        const bool same = file && key == *file;
        const bool below = file && key.size() > file->size() && key[file->size()] == u'\x01' &&
                           key.compare(0, file->size(), *file) == 0;
        if (same || below) {
            clashes.push_back({fileIndex, i, below});
        } else {
            file = &key;
            fileIndex = i;
        }
    }
    return clashes;
}

std::string writeBackupManifest(const std::vector<BackupFile>& files) {
    std::string out = std::string(kBackupManifestHeader) + "\n";
    for (const BackupFile& file : files)
        out += crcText(file.crc) + " " + std::to_string(file.size) + " " +
               std::to_string(file.lastWriteTime) + " " + file.name + "\n";
    return out;
}

namespace {

// The manifest's lines after its first, read into `manifest`.
bool readLines(std::string_view text, BackupManifest& manifest, std::string& problem) {
    while (!text.empty()) {
        size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            problem = "the manifest is cut short";
            return false;
        }
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (manifest.files.size() == kMaxBackupFiles) {
            problem = "the manifest lists more files than any navigator holds";
            return false;
        }
        std::optional<BackupFile> file = parseLine(line, manifest.gbkNames, problem);
        if (!file) return false;
        manifest.files.push_back(std::move(*file));
    }
    return true;
}

}  // namespace

std::optional<BackupManifest> readBackupManifest(std::string_view text, std::string& problem) {
    if (text.size() > kMaxManifestBytes) {
        problem = "the manifest is larger than any backup's";
        return std::nullopt;
    }
    size_t end = text.find('\n');
    std::string_view header = text.substr(0, end);
    if (!header.empty() && header.back() == '\r') header.remove_suffix(1);
    BackupManifest manifest;
    manifest.gbkNames = header == kBackupManifestHeaderGbk;
    if (end == std::string_view::npos || (header != kBackupManifestHeader && !manifest.gbkNames)) {
        problem = "the manifest does not start with \"" + std::string(kBackupManifestHeader) +
                  "\" or \"" + kBackupManifestHeaderGbk + "\"";
        return std::nullopt;
    }
    if (!readLines(text.substr(end + 1), manifest, problem)) return std::nullopt;
    std::vector<std::string_view> names;
    names.reserve(manifest.files.size());
    for (const BackupFile& file : manifest.files)
        names.push_back(file.name);
    std::vector<NameClash> clashes = clashingNames(names);
    if (!clashes.empty()) {
        const NameClash& clash = clashes.front();
        problem = "the manifest lists " +
                  (clash.below ? manifest.files[clash.earlier].name + " as a file and as a folder"
                               : manifest.files[clash.later].name + " twice");
        return std::nullopt;
    }
    return manifest;
}
