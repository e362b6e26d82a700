#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The addresses an HTTP transfer may use, as the WinINet side takes them apart; portable, so
// that the rules are the same everywhere and tested on every platform.
namespace platform {

struct HttpTarget {
    bool secure = false;  // https
    std::string host;     // without brackets for an IPv6 address
    uint16_t port = 0;
    std::string object;  // the path and query as given, from its "/"; no fragment
};

// The parts of an http or https URL (https only when `httpsOnly`); nothing for any other scheme,
// a URL without a host, or a port that is no number from 1 to 65535. A user name and password
// before the host are left out: the program never sends them.
std::optional<HttpTarget> parseHttpUrl(const std::string& url, bool httpsOnly);

// A redirect's `location` made absolute against `base`, the URL that answered with it, as a
// browser resolves a reference: a whole URL, a network path ("//host/..."), an absolute path, a
// query, or a path relative to the base's folder, with "." and ".." segments removed. Empty when
// `base` is no URL.
std::string resolveLocation(const std::string& base, const std::string& location);

}  // namespace platform
