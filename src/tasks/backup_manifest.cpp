#include "tasks/backup_manifest.h"

#include <charconv>
#include <set>

#include "device/device_files.h"
#include "device/device_names.h"
#include "platform/codepage.h"

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

std::optional<BackupFile> parseLine(std::string_view line, std::string& problem) {
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
    file.name = line;
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

// Refuses two names for one file, and a name that is a file in one line and a folder in another.
bool namesAreDistinct(const std::vector<BackupFile>& files, std::string& problem) {
    std::set<std::u16string> names;
    std::set<std::u16string> folders;
    for (const BackupFile& file : files) {
        std::u16string name = foldedDeviceName(file.name);
        if (!names.insert(name).second) {
            problem = "the manifest lists " + file.name + " twice";
            return false;
        }
        for (size_t cut = name.find(u'\\'); cut != std::u16string::npos;
             cut = name.find(u'\\', cut + 1))
            folders.insert(name.substr(0, cut));
    }
    for (const BackupFile& file : files) {
        if (folders.count(foldedDeviceName(file.name))) {
            problem = "the manifest lists " + file.name + " as a file and as a folder";
            return false;
        }
    }
    return true;
}

}  // namespace

std::string backupNameProblem(const std::string& name) {
    if (name.empty() || name.size() > kMaxBackupNameBytes) return "a name too long or empty";
    std::u16string wide = platform::ansiToUtf16(name);
    if (platform::utf16ToAnsi(wide) != name) return "a name not in the system's code page";
    size_t start = 0;
    while (start <= wide.size()) {
        size_t end = wide.find(u'\\', start);
        if (end == std::u16string::npos) end = wide.size();
        std::u16string_view part(wide.data() + start, end - start);
        if (part.empty() || part == u"." || part == u"..")
            return "a name that is absolute or leaves its folder";
        if (part.back() == u'.' || part.back() == u' ')
            return "a name ending with a dot or a space, which the navigator cannot hold";
        for (char16_t c : part)
            if (c < 0x20 || std::u16string_view(u"/:*?\"<>|").find(c) != std::u16string_view::npos)
                return "a name with a character the navigator cannot hold";
        start = end + 1;
    }
    if (isReplacementName(name)) return "a name that the program keeps for its own copies";
    return {};
}

std::string writeBackupManifest(const std::vector<BackupFile>& files) {
    std::string out = std::string(kBackupManifestHeader) + "\n";
    for (const BackupFile& file : files)
        out += crcText(file.crc) + " " + std::to_string(file.size) + " " +
               std::to_string(file.lastWriteTime) + " " + file.name + "\n";
    return out;
}

std::optional<std::vector<BackupFile>> readBackupManifest(std::string_view text,
                                                          std::string& problem) {
    std::vector<BackupFile> files;
    if (text.size() > kMaxManifestBytes) {
        problem = "the manifest is larger than any backup's";
        return std::nullopt;
    }
    bool header = true;
    while (!text.empty()) {
        size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            problem = "the manifest is cut short";
            return std::nullopt;
        }
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (header) {
            if (line != kBackupManifestHeader) {
                problem = "the manifest does not start with \"" +
                          std::string(kBackupManifestHeader) + "\"";
                return std::nullopt;
            }
            header = false;
            continue;
        }
        if (files.size() == kMaxBackupFiles) {
            problem = "the manifest lists more files than any navigator holds";
            return std::nullopt;
        }
        std::optional<BackupFile> file = parseLine(line, problem);
        if (!file) return std::nullopt;
        files.push_back(std::move(*file));
    }
    if (header) {
        problem = "the manifest is empty";
        return std::nullopt;
    }
    if (!namesAreDistinct(files, problem)) return std::nullopt;
    return files;
}
