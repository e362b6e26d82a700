#include "platform/startup_marks.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "platform/log.h"

namespace platform {

bool startupMarksWanted() {
    static const bool wanted = [] {
        const char* value = std::getenv("VANTU_STARTUP_MARKS");
        return value != nullptr && *value != '\0' && std::string_view(value) != "0";
    }();
    return wanted;
}

void startupMark(std::string_view name) {
    if (!startupMarksWanted()) return;
    double now = std::chrono::duration<double, std::milli>(
                     std::chrono::steady_clock::now().time_since_epoch())
                     .count();
    static std::mutex lock;
    static std::set<std::string, std::less<>> marked;
    static double started = 0;
    std::lock_guard<std::mutex> hold(lock);
    if (!marked.emplace(name).second) return;
    // The system tells the process's start on a clock of its own, once.
    if (marked.size() == 1) started = now - processAgeMs();
    char text[192];
    std::snprintf(text, sizeof text, "start-up: %.*s at %.1f ms (monotonic clock %.1f ms)",
                  static_cast<int>(name.size()), name.data(), now - started, now);
    logLine(text);
}

}  // namespace platform
