#include "app/origin_policy.h"

#include <algorithm>

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::string originOf(std::string_view address) {
    size_t colon = address.find("://");
    if (colon == std::string_view::npos || colon == 0) return {};
    std::string scheme = lower(address.substr(0, colon));
    if (scheme != "http" && scheme != "https") return {};
    std::string_view rest = address.substr(colon + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    // User information is no part of an origin.
    if (size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    std::string_view host = rest;
    std::string_view port;
    size_t portColon = rest.rfind(':');
    size_t bracket = rest.rfind(']');
    if (portColon != std::string_view::npos &&
        (bracket == std::string_view::npos || portColon > bracket)) {
        host = rest.substr(0, portColon);
        port = rest.substr(portColon + 1);
    }
    if (host.empty()) return {};
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {};
    while (port.size() > 1 && port.front() == '0')
        port.remove_prefix(1);
    std::string origin = scheme + "://" + lower(host);
    bool defaultPort =
        port.empty() || (scheme == "http" && port == "80") || (scheme == "https" && port == "443");
    if (!defaultPort) {
        origin += ':';
        origin += port;
    }
    return origin;
}

OriginPolicy::OriginPolicy(const std::vector<std::string>& pages, std::string_view extra) {
    for (const std::string& page : pages)
        add(page);
    while (!extra.empty()) {
        size_t semicolon = extra.find(';');
        add(trim(extra.substr(0, semicolon)));
        if (semicolon == std::string_view::npos) break;
        extra.remove_prefix(semicolon + 1);
    }
}

void OriginPolicy::add(std::string_view address) {
    std::string origin = originOf(address);
    if (!origin.empty() && std::find(origins_.begin(), origins_.end(), origin) == origins_.end())
        origins_.push_back(origin);
}

bool OriginPolicy::trusts(std::string_view originHeader) const {
    return std::find(origins_.begin(), origins_.end(), originHeader) != origins_.end();
}
