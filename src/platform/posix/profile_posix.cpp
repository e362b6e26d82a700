#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/profile.h"

// A reader and writer of Windows initialisation files with the behaviour of the profile functions
// that the program relies on. Files written by Windows keep working: CRLF or LF line ends, white
// space around '=', and everything the program does not touch stays as it was.
namespace platform {
namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" (last line without a line end)
};

struct Parsed {
    std::vector<Line> lines;
    std::string newline = "\r\n";
};

Parsed parse(const std::string& content) {
    Parsed p;
    bool sawLf = false, sawCrLf = false;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = content.substr(pos);
            pos = content.size();
        } else {
            size_t end = nl;
            if (end > pos && content[end - 1] == '\r') {
                --end;
                line.end = "\r\n";
                sawCrLf = true;
            } else {
                line.end = "\n";
                sawLf = true;
            }
            line.text = content.substr(pos, end - pos);
            pos = nl + 1;
        }
        p.lines.push_back(std::move(line));
    }
    if (sawLf && !sawCrLf) p.newline = "\n";
    return p;
}

// The section name of a header line, or nothing.
std::optional<std::string_view> sectionOf(std::string_view line) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    std::string_view name = t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1);
    return trim(name);
}

// Splits a key line into key and value; nothing for lines without '='.
bool splitKey(std::string_view line, std::string_view& key, std::string_view& value) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return true;
}

struct Location {
    long section = -1;        // index of the section header line
    long key = -1;            // index of the key line
    long lastInSection = -1;  // last non-blank line of the section
};

Location locate(const Parsed& p, const std::string& section, const std::string& key) {
    Location loc;
    for (size_t i = 0; i < p.lines.size(); ++i) {
        const std::string& text = p.lines[i].text;
        if (auto name = sectionOf(text)) {
            if (loc.section >= 0) break;  // the section we found has ended
            if (equalsNoCase(*name, section)) {
                loc.section = static_cast<long>(i);
                loc.lastInSection = static_cast<long>(i);
            }
            continue;
        }
        if (loc.section < 0) continue;
        if (!trim(text).empty()) loc.lastInSection = static_cast<long>(i);
        std::string_view k, v;
        if (loc.key < 0 && splitKey(text, k, v) && equalsNoCase(k, key))
            loc.key = static_cast<long>(i);
    }
    return loc;
}

bool readFileText(const std::string& file, std::string& content) {
    return readWholeFile(file, content);
}

// Replaces the file through a temporary file in the same folder, so that a crash mid-write never
// leaves a half-written settings file.
bool replaceFile(const std::string& file, const std::string& content, OsError* error) {
    std::string temp = file + ".tmp";
    if (!writeWholeFile(temp, content, error)) {
        deleteFile(temp);
        return false;
    }
    if (!moveIntoPlace(temp, file, error)) {
        deleteFile(temp);
        return false;
    }
    return true;
}

}  // namespace

std::string getProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& file,
                             size_t bufferSize) {
    std::string content;
    std::string value = defaultValue;
    if (readFileText(file, content)) {
        Parsed p = parse(content);
        Location loc = locate(p, section, key);
        if (loc.key >= 0) {
            std::string_view k, v;
            splitKey(p.lines[static_cast<size_t>(loc.key)].text, k, v);
            // Windows drops one pair of matching quotes around a value.
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            value = std::string(v);
        }
    }
    if (bufferSize == 0) return {};
    value.resize(ansiPrefixLength(value, bufferSize - 1));
    return value;
}

int getProfileInt(const std::string& section, const std::string& key, int defaultValue,
                  const std::string& file) {
    const std::string kMissing("\x01missing", 8);
    std::string value = getProfileString(section, key, kMissing, file);
    if (value == kMissing) return defaultValue;
    return std::atoi(value.c_str());
}

bool writeProfileString(const std::string& section, const std::string& key, const char* value,
                        const std::string& file, OsError* error) {
    std::string content;
    bool exists = readFileText(file, content);
    if (!exists && value == nullptr) return true;
    Parsed p = parse(content);
    Location loc = locate(p, section, key);
    if (value == nullptr) {
        if (loc.key < 0) return true;
        p.lines.erase(p.lines.begin() + loc.key);
    } else if (loc.key >= 0) {
        Line& line = p.lines[static_cast<size_t>(loc.key)];
        std::string_view k, v;
        splitKey(line.text, k, v);
        line.text = std::string(k) + "=" + value;
    } else {
        size_t at = loc.section >= 0 ? static_cast<size_t>(loc.lastInSection + 1) : p.lines.size();
        // A last line without a line end gets one when something is appended after it.
        if (at == p.lines.size() && !p.lines.empty() && p.lines.back().end.empty())
            p.lines.back().end = p.newline;
        std::vector<Line> added;
        if (loc.section < 0) added.push_back({"[" + section + "]", p.newline});
        added.push_back({key + "=" + value, p.newline});
        p.lines.insert(p.lines.begin() + static_cast<long>(at), added.begin(), added.end());
    }
    std::string out;
    for (const Line& line : p.lines)
        out += line.text + line.end;
    // The page stores the same values at every start: a file that would not change is not
    // written again, nor made durable twice over on the window thread.
    if (exists && out == content) return true;
    return replaceFile(file, out, error);
}

}  // namespace platform
