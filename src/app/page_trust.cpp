#include "app/page_trust.h"

#include <algorithm>

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// %XX escapes decoded; a '%' that starts no escape stays as it is. Nothing when an escape
// stands for NUL, which no path holds.
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        int high = text[i] == '%' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low < 0) {
            out += text[i];
            continue;
        }
        if (high == 0 && low == 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

bool hasDotPart(std::string_view path) {
    while (!path.empty()) {
        size_t slash = path.find('/');
        std::string_view part = path.substr(0, slash);
        if (part == "." || part == "..") return true;
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return false;
}

}  // namespace

std::optional<std::string> localPath(std::string_view address) {
    if (address.size() < 5 || !equalNoCase(address.substr(0, 5), "file:")) return std::nullopt;
    std::string_view rest = address.substr(5);
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        std::string_view host = rest.substr(0, slash);
        // A file on another machine is no page of this program.
        if (!host.empty() && !equalNoCase(host, "localhost")) return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    std::optional<std::string> path = percentDecoded(rest);
    if (!path || hasDotPart(*path)) return std::nullopt;
    return path;
}

PageTrust::PageTrust(const StartPages& pages, std::string_view extraOrigins)
    : origins_({pages.start, pages.alternate}, extraOrigins) {
    for (const std::string* page : {&pages.bundled, &pages.start, &pages.alternate}) {
        std::optional<std::string> path = localPath(*page);
        if (!path) continue;
        std::string address = page->substr(0, page->find_first_of("?#"));
        address.erase(address.rfind('/') + 1);
        if (std::find(folderAddresses_.begin(), folderAddresses_.end(), address) !=
            folderAddresses_.end())
            continue;
        folderAddresses_.push_back(address);
        folderPaths_.push_back(path->substr(0, path->rfind('/') + 1));
    }
}

bool PageTrust::isLocalPage(std::string_view address) const {
    std::optional<std::string> path = localPath(address);
    if (!path) return false;
    return std::any_of(folderPaths_.begin(), folderPaths_.end(), [&](const std::string& folder) {
        return path->compare(0, folder.size(), folder) == 0;
    });
}

bool PageTrust::trusts(std::string_view address) const {
    if (isLocalPage(address)) return true;
    std::string origin = originOf(address);
    return !origin.empty() && origins_.trusts(origin);
}
