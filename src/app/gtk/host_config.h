#pragma once

#include <string>

// The window's build-time settings. The program has the build's values; the window's test build
// takes its pages from a file beside it instead, so that the tests' loopback servers may listen
// on any free port.
struct HostConfig {
    std::string startPage;       // empty: the bundled page
    std::string altStartPage;    // empty: the bundled page
    std::string trustedOrigins;  // ';'-separated
    // Test builds only: the loopback servers of the tests use self-signed certificates.
    bool acceptAnyCertificate = false;
    // Test builds only: the page's console messages go to standard output.
    bool consoleToStdout = false;
};

const HostConfig& hostConfig();
