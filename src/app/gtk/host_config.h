#pragma once

// The window's build-time settings. The program has the build's values; the window's test build
// compiles the same sources with test pages of its own.
struct HostConfig {
    const char* startPage;       // empty: the bundled page
    const char* altStartPage;    // empty: the bundled page
    const char* trustedOrigins;  // ';'-separated
    // Test builds only: the loopback servers of the tests use self-signed certificates.
    bool acceptAnyCertificate;
    // Test builds only: the page's console messages go to standard output.
    bool consoleToStdout;
};

const HostConfig& hostConfig();
