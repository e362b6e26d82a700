#include "app/gtk/host_config.h"

#include "build_config.h"

#ifdef VANTU_TEST_BUILD
#include "platform/files.h"
#include "platform/paths.h"

namespace {

// "e2e-hosts.txt" beside the test build: lines start=, alternate= and trusted=.
HostConfig testConfig() {
    HostConfig config;
    config.acceptAnyCertificate = true;
    config.consoleToStdout = true;
    std::string text;
    platform::readWholeFile(platform::programFolder() + "e2e-hosts.txt", text);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "start") config.startPage = value;
        if (key == "alternate") config.altStartPage = value;
        if (key == "trusted") config.trustedOrigins = value;
    }
    return config;
}

}  // namespace
#endif

const HostConfig& hostConfig() {
#ifdef VANTU_TEST_BUILD
    static const HostConfig config = testConfig();
#else
    static const HostConfig config{build_config::kStartPage, build_config::kAltStartPage,
                                   build_config::kTrustedOrigins, false, false};
#endif
    return config;
}
