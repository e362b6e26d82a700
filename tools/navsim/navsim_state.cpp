#include "navsim_state.h"

#include "device/device_names.h"
#include "platform/utf8_text.h"

namespace navsim {

std::string toUtf8(std::u16string_view text) {
    return utf8::fromUtf16(text);
}

std::u16string toUtf16(std::string_view text) {
    return utf8::toUtf16(text);
}

namespace {

char16_t foldUnit(char16_t c) {
    return foldDeviceUnit(c);
}

}  // namespace

std::string foldUtf8(const std::string& text) {
    return toUtf8(foldDeviceName(toUtf16(text)));
}

std::u16string nulTerminated(const WCHAR* text) {
    std::u16string out;
    if (text == nullptr) return out;
    for (size_t i = 0; text[i] != 0 && i < 32768; ++i)
        out += text[i];
    return out;
}

bool wildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || foldUnit(pattern[p]) == foldUnit(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

State& state() {
    static State s;
    return s;
}

// The entry of `folder` that `name` names without regard to letter case, or `name` itself when
// there is none (yet).
namespace {

std::string matchEntry(const std::string& folder, const std::string& name) {
    std::string found = navsim::host::spelledEntry(folder, name);
    return found.empty() ? name : found;
}

}  // namespace

std::optional<HostPath> resolve(const State& s, std::u16string_view device) {
    if (s.root.empty() || device.empty() || (device[0] != u'\\' && device[0] != u'/'))
        return std::nullopt;
    HostPath out;
    out.host = s.root;
    size_t i = 1;
    while (i < device.size()) {
        size_t end = device.find_first_of(u"\\/", i);
        if (end == std::u16string_view::npos) end = device.size();
        std::u16string_view part = device.substr(i, end - i);
        i = end + 1;
        if (part.empty()) {
            if (end == device.size() || i >= device.size()) break;  // a trailing separator
            return std::nullopt;
        }
        if (part == u"." || part == u".." || part.find_first_of(u"*?") != std::u16string_view::npos)
            return std::nullopt;
        out.lastAsGiven = toUtf8(part);
        std::string name = matchEntry(out.host, out.lastAsGiven);
        out.host += "/" + name;
        out.folded += "\\" + foldUtf8(name);
        ++out.depth;
    }
    return out;
}

DWORD attributesOf(const State& s, const HostPath& path, const std::string& name,
                   const navsim::host::Info& info) {
    auto it = s.attributeOverrides.find(path.folded);
    if (it != s.attributeOverrides.end()) return it->second;
    DWORD attrs = info.folder ? kAttrDirectory : kAttrArchive;
    if (info.folder && path.depth == 1 &&
        std::find(s.mainStore.begin(), s.mainStore.end(), foldUtf8(name)) == s.mainStore.end())
        attrs |= kAttrTemporary;
    if (info.readOnly) attrs |= kAttrReadOnly;
    if (info.hidden || (!name.empty() && name[0] == '.')) attrs |= kAttrHidden;
    return attrs;
}

bool linkUp(const State& s) {
    return s.linked && !s.root.empty();
}

std::optional<HostPath> resolveLinked(const State& s, const WCHAR* path) {
    if (!linkUp(s)) return std::nullopt;
    return resolve(s, nulTerminated(path));
}

int parseNumber(const char* text) {
    return text ? static_cast<int>(std::strtol(text, nullptr, 0)) : 0;
}

// The entries of a folder that a search's last part may match. A name without wildcards is
// looked up rather than searched for, as a device's file system does: asking for one name in a
// folder of thousands of files costs no listing of them all.
std::optional<std::vector<navsim::host::Entry>> lookUp(const std::string& folder,
                                                       const std::u16string& mask) {
    if (mask.find_first_of(u"*?") != std::u16string::npos) return navsim::host::list(folder);
    std::vector<navsim::host::Entry> entries;
    if (mask == u"." || mask == u"..") return entries;
    std::string name = navsim::host::spelledEntry(folder, toUtf8(mask));
    if (name.empty()) return entries;
    if (auto found = navsim::host::entry(folder, name)) entries.push_back(std::move(*found));
    return entries;
}

}  // namespace navsim
