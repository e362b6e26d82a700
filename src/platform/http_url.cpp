#include "platform/http_url.h"

#include <algorithm>
#include <string_view>

namespace platform {

namespace {

// Longer host names do not fit WinINet's buffer for them.
constexpr size_t kMaxHostLength = 256;

bool schemeIs(std::string_view url, std::string_view scheme) {
    if (url.size() < scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

std::optional<uint16_t> portOf(std::string_view digits, uint16_t fallback) {
    if (digits.empty()) return fallback;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 65535) return std::nullopt;
    }
    if (value == 0) return std::nullopt;
    return static_cast<uint16_t>(value);
}

// A reference's scheme: letters, digits, '+', '-' and '.', after a letter, up to ':'.
size_t schemeLength(std::string_view url) {
    for (size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (c == ':') return i;
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return 0;
    }
    return 0;
}

// The path with its "." and ".." segments resolved; a ".." never climbs above the root.
std::string removeDotSegments(std::string_view path) {
    std::string out;
    while (!path.empty()) {
        if (path.starts_with("../") || path.starts_with("./")) {
            path.remove_prefix(path.find('/') + 1);
        } else if (path.starts_with("/./") || path == "/.") {
            path = path.size() > 2 ? path.substr(2) : "/";
            if (path.empty()) path = "/";
        } else if (path.starts_with("/../") || path == "/..") {
            path = path.size() > 3 ? path.substr(3) : "/";
            size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            size_t next = path.find('/', 1);
            next = next == std::string_view::npos ? path.size() : next;
            out.append(path.substr(0, next));
            path.remove_prefix(next);
        }
    }
    return out;
}

// Where the path of an absolute URL starts: after its scheme and authority.
size_t pathStart(std::string_view url) {
    size_t scheme = schemeLength(url);
    if (scheme == 0) return std::string_view::npos;
    size_t at = scheme + 1;
    if (url.substr(at, 2) != "//") return at;
    size_t end = url.find_first_of("/?#", at + 2);
    return end == std::string_view::npos ? url.size() : end;
}

}  // namespace

std::optional<HttpTarget> parseHttpUrl(const std::string& url, bool httpsOnly) {
    HttpTarget target;
    target.secure = schemeIs(url, "https://");
    if (!target.secure && (httpsOnly || !schemeIs(url, "http://"))) return std::nullopt;
    const size_t start = target.secure ? 8 : 7;
    size_t end = url.find_first_of("/?#", start);
    if (end == std::string::npos) end = url.size();
    std::string_view authority = std::string_view(url).substr(start, end - start);
    if (size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view port;
    if (authority.starts_with('[')) {
        size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return std::nullopt;
        port = after.empty() ? after : after.substr(1);
        authority = authority.substr(1, close - 1);
    } else if (size_t colon = authority.find(':'); colon != std::string_view::npos) {
        port = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
    }
    std::optional<uint16_t> number = portOf(port, target.secure ? 443 : 80);
    if (authority.empty() || authority.size() > kMaxHostLength || !number) return std::nullopt;
    target.host = authority;
    target.port = *number;
    target.object = url.substr(end, url.find('#', end) - end);
    if (target.object.empty() || target.object[0] != '/') target.object.insert(0, "/");
    return target;
}

std::string resolveLocation(const std::string& base, const std::string& location) {
    const size_t basePath = pathStart(base);
    if (basePath == std::string::npos) return {};
    std::string_view ref(location);
    ref = ref.substr(0, ref.find('#'));
    // A network path takes the base's scheme and is then a whole URL.
    if (ref.starts_with("//"))
        return resolveLocation(base, base.substr(0, schemeLength(base) + 1) + std::string(ref));
    if (schemeLength(ref) != 0) {
        size_t path = pathStart(ref);
        size_t query = std::min(ref.find('?', path), ref.size());
        return std::string(ref.substr(0, path)) +
               removeDotSegments(ref.substr(path, query - path)) + std::string(ref.substr(query));
    }
    std::string_view from(base);
    from = from.substr(0, from.find('#'));
    const size_t baseQuery = std::min(from.find('?', basePath), from.size());
    if (ref.empty()) return std::string(from);
    if (ref[0] == '?') return std::string(from.substr(0, baseQuery)) + std::string(ref);
    const size_t refQuery = std::min(ref.find('?'), ref.size());
    std::string path;
    if (ref[0] != '/') {
        // Relative to the base's folder; a base without a path has the root.
        std::string_view folder = from.substr(basePath, baseQuery - basePath);
        size_t slash = folder.rfind('/');
        path = slash == std::string_view::npos ? "/" : std::string(folder.substr(0, slash + 1));
    }
    path += ref.substr(0, refQuery);
    return std::string(from.substr(0, basePath)) + removeDotSegments(path) +
           std::string(ref.substr(refQuery));
}

}  // namespace platform
