#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// The update's network reads: fresh copies (no cache), agent "Hello", the system's proxy
// settings. A body counts only when it arrived whole with a status below 400, within the limits.

struct FetchLimits {
    std::chrono::milliseconds connectTimeout{30000};
    // No byte moving for this long ends the transfer.
    std::chrono::milliseconds stallTimeout{30000};
    // The whole transfer; zero for no limit.
    std::chrono::milliseconds deadline{0};
    // Fewer bytes than this per second over a whole window end the transfer; 0 for no limit.
    int64_t minBytesPerSecond = 0;
    std::chrono::milliseconds rateWindow{60000};
    // A longer body ends the transfer.
    int64_t maxBytes = 0;
    // Only https, redirects included.
    bool httpsOnly = false;
    // Polled during the transfer; true ends it.
    std::function<bool()> shouldStop;
};

// The manifest: small, and over within half a minute.
FetchLimits manifestFetchLimits();
// The new program: at most 64 MiB, at 1 KiB/s or more over each minute, within 30 minutes.
FetchLimits programFetchLimits();

// The whole body of a URL; empty when it cannot be fetched within the limits.
std::string fetchText(const std::string& url, const FetchLimits& limits = manifestFetchLimits());

// Downloads a URL into a new file at `path` (whatever stands at the name is removed first, never
// written through): 1, or 0 when the URL or the file cannot be opened or the transfer does not
// complete within the limits; nothing is left at `path` then.
int fetchToFile(const std::string& url, const std::string& path,
                const FetchLimits& limits = programFetchLimits());
