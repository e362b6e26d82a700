#pragma once

#include <string>
#include <string_view>
#include <vector>

// The origin of an address as browsers write it in the Origin header: "scheme://host" with
// ":port" unless it is the scheme's default, scheme and host in lower case. Empty for addresses
// without a network origin (file:, about:, data:, ...).
std::string originOf(std::string_view address);

// Which documents may call the program's methods, by the Origin header of their requests:
// those of the build's start pages and of the extra trusted origins. Documents without a network
// origin (local files, sandboxed frames, all sent as "null") are never trusted by origin.
class OriginPolicy {
  public:
    OriginPolicy() = default;
    // `pages` are addresses (empty ones are skipped); `extra` lists origins or addresses
    // separated by ';'.
    OriginPolicy(const std::vector<std::string>& pages, std::string_view extra);

    bool trusts(std::string_view originHeader) const;
    const std::vector<std::string>& origins() const { return origins_; }

  private:
    void add(std::string_view address);

    std::vector<std::string> origins_;
};
