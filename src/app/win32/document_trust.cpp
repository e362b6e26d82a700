#include "app/win32/document_trust.h"

#include "platform/codepage.h"
#include "platform/utf8_text.h"

namespace {

char16_t lowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != lowerAscii(prefix[i])) return false;
    return true;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// %XX escapes decoded; a run of escaped bytes above 0x7F is read as UTF-8, as the control
// writes non-ASCII characters of file addresses. A '%' that starts no escape stays as it is.
std::u16string percentDecoded(std::u16string_view text) {
    std::u16string out;
    std::string bytes;
    auto flush = [&] {
        if (!bytes.empty()) out += utf8::toUtf16(bytes);
        bytes.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 2 < text.size()) {
            int high = hexValue(text[i + 1]);
            int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        flush();
        out += text[i];
    }
    flush();
    return out;
}

bool isDriveStart(std::u16string_view path) {
    return path.size() >= 2 && lowerAscii(path[0]) >= u'a' && lowerAscii(path[0]) <= u'z' &&
           (path[1] == u':' || path[1] == u'|');
}

// Separators unified, letters folded; nothing when a part is "." or "..".
std::optional<std::u16string> comparable(std::u16string path) {
    for (char16_t& c : path)
        c = c == u'/' ? u'\\' : lowerAscii(c);
    if (isDriveStart(path)) {
        path[1] = u':';
        if (path.size() < 3 || path[2] != u'\\') return std::nullopt;  // drive-relative
    } else if (path.compare(0, 2, u"\\\\") != 0) {
        return std::nullopt;
    }
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos) end = path.size();
        std::u16string_view part = std::u16string_view(path).substr(start, end - start);
        if (part == u"." || part == u"..") return std::nullopt;
        start = end + 1;
    }
    return path;
}

// The address as the origin check reads it: ASCII only, so that a character the code page cannot
// hold never turns into a delimiter ('?') on the way; '\' as the browser reads it in a network
// address, as '/'.
std::string asciiAddress(std::u16string_view address) {
    std::string out;
    out.reserve(address.size());
    for (char16_t c : address) {
        if (c == u'\\')
            out += '/';
        else if (c < 0x21 || c >= 0x7F)
            out += '%';
        else
            out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

std::optional<std::u16string> comparableLocalPath(std::u16string_view address) {
    if (!startsWithNoCase(address, u"file:")) return comparable(std::u16string(address));
    std::u16string_view rest = address.substr(5);
    rest = rest.substr(0, rest.find_first_of(u"?#"));
    std::u16string path = percentDecoded(rest);
    size_t slashes = 0;
    while (slashes < path.size() && (path[slashes] == u'/' || path[slashes] == u'\\'))
        ++slashes;
    std::u16string tail = path.substr(slashes);
    if (isDriveStart(tail)) return comparable(tail);
    // file://server/share/...: a page on a network share.
    if (slashes >= 2) return comparable(u"\\\\" + tail);
    return std::nullopt;
}

DocumentTrust::DocumentTrust(OriginPolicy policy, const std::vector<std::string>& localPages)
    : policy_(std::move(policy)) {
    for (const std::string& page : localPages) {
        std::optional<std::u16string> path = comparableLocalPath(platform::ansiToUtf16(page));
        if (!path) continue;
        folders_.push_back(path->substr(0, path->rfind(u'\\') + 1));
    }
}

bool DocumentTrust::trusts(std::u16string_view address) const {
    if (std::optional<std::u16string> path = comparableLocalPath(address)) {
        for (const std::u16string& folder : folders_)
            if (path->compare(0, folder.size(), folder) == 0) return true;
        return false;
    }
    std::string origin = originOf(asciiAddress(address));
    return !origin.empty() && policy_.trusts(origin);
}
