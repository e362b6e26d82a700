// One version of a program around the update module, for the hand-over test: it answers the
// update question itself, runs one check against the manifest named in VANTU_HANDOVER_MANIFEST
// with the update key of VANTU_HANDOVER_KEY and appends what happened to the file named in
// VANTU_HANDOVER_LOG.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/paths.h"
#include "update/update_check.h"

#ifndef HANDOVER_VERSION
#error "build each version with its own HANDOVER_VERSION"
#endif

namespace {

void logLine(const std::string& line) {
    const char* log = std::getenv("VANTU_HANDOVER_LOG");
    if (!log) return;
    if (std::FILE* f = std::fopen(log, "ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

}  // namespace

int main() {
    const char* manifest = std::getenv("VANTU_HANDOVER_MANIFEST");
    const char* key = std::getenv("VANTU_HANDOVER_KEY");
    if (!manifest || !key) return 2;
    std::string self = platform::programFile();
    std::string prefix = std::to_string(HANDOVER_VERSION) + " " +
                         self.substr(self.find_last_of(platform::kPathSeparator) + 1) + " ";
    Updater updater(self, manifest, key);
    updater.setAsk([&prefix](const std::string&, const std::string&) {
        logLine(prefix + "asked");
        return true;
    });
    UpdateResult answer = updater.checkForUpdate();
    logLine(prefix + std::to_string(static_cast<int>(answer)));
    if (answer == UpdateResult::Close) {
        // The window's closing sequence takes a while; the next program must wait for its end.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        logLine(prefix + "closed");
    }
    return 0;
}
