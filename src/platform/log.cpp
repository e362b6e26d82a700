#include "platform/log.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/codepage.h"
#include "platform/files.h"

namespace platform {
namespace {

// A log file that grows past this starts again: it is for the last few sessions, not history.
constexpr int64_t kLogFileLimit = 512 * 1024;

#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

struct Log {
    std::mutex lock;
    std::string file;
    LogHandler handler;
};

Log& theLog() {
    static Log log;
    return log;
}

void appendToFile(const std::string& path, std::string_view line) {
    File file(path, OpenMode::OpenAlways);
    if (!file.isOpen()) return;
    int64_t size = file.size();
    if (size > kLogFileLimit) {
        file.close();
        file.open(path, OpenMode::CreateAlways);
        size = 0;
    }
    if (size < 0 || !file.seek(size)) return;
    std::string text(line);
    text += kLineEnd;
    file.write(text.data(), text.size());
}

}  // namespace

void logLine(std::string_view text) {
    Log& log = theLog();
    std::lock_guard<std::mutex> hold(log.lock);
    if (log.handler) {
        log.handler(text);
        return;
    }
#ifdef _WIN32
    std::fprintf(stderr, "vantu: %.*s\n", static_cast<int>(text.size()), text.data());
#else
    // A terminal here reads UTF-8.
    std::string shown = ansiToUtf8(text);
    std::fprintf(stderr, "vantu: %s\n", shown.c_str());
#endif
    if (!log.file.empty()) appendToFile(log.file, text);
}

void setLogFile(std::string path) {
    Log& log = theLog();
    std::lock_guard<std::mutex> hold(log.lock);
    log.file = std::move(path);
}

void setLogHandler(LogHandler handler) {
    Log& log = theLog();
    std::lock_guard<std::mutex> hold(log.lock);
    log.handler = std::move(handler);
}

}  // namespace platform
