#pragma once

#include <chrono>
#include <string>

class TiXmlElement;

// Self-update from the update manifest, checked after every completed navigation.
//
// The manifest's top-level element "do" holds blocks of commands, run in document order:
// "check" (path, md5) ends its block when the program file's digest equals md5; "download"
// (url, md5 optional) asks the user and fetches the new program into the updater copy; "run"
// starts the copy; "exit" makes the program close. The copy, running under the updater name,
// waits for the old program to end, replaces the main program file with itself and starts it;
// the restarted program deletes the copy.

// How program files are named: X.exe with the copy X_update.exe, or X with the copy X_update.
enum class ProgramNaming { Windows, Posix };
#ifdef _WIN32
inline constexpr ProgramNaming kProgramNaming = ProgramNaming::Windows;
#else
inline constexpr ProgramNaming kProgramNaming = ProgramNaming::Posix;
#endif

std::string updaterPathFor(const std::string& programFile, ProgramNaming naming = kProgramNaming);
// The main program's path when programFile is an updater copy (letter case ignored), else empty.
std::string mainPathForUpdater(const std::string& programFile,
                               ProgramNaming naming = kProgramNaming);

// After this a file that stays busy is treated as free, so that the window never hangs for good.
inline constexpr std::chrono::milliseconds kFileWaitLimit{60000};

// Waits, trying every 100 ms, until the file can be opened for reading and writing (no program
// runs from it any more) or no longer exists, or the limit has passed.
void waitUntilFree(const std::string& path, std::chrono::milliseconds limit = kFileWaitLimit);
// waitUntilFree, then deletes the file; a missing file or a failed deletion is no error.
void waitAndDelete(const std::string& path, std::chrono::milliseconds limit = kFileWaitLimit);

class Updater {
  public:
    // Results of checkForUpdate and runUpdateBlock.
    static constexpr int kUpToDate = 0;
    static constexpr int kBlockEnded = -1;
    static constexpr int kGoOn = 1;
    static constexpr int kClose = 3;

    Updater(std::string programFile, std::string manifestUrl);

    const std::string& updaterPath() const { return updaterPath_; }
    void setWaitLimit(std::chrono::milliseconds limit) { waitLimit_ = limit; }

    // kClose when the program must close now, else kGoOn. A check started while another one
    // runs (from inside its question box) answers kGoOn at once.
    int checkForUpdate();
    // Runs one block of the manifest; only kClose matters to the caller.
    int runUpdateBlock(const TiXmlElement& block);

  private:
    int takeUpdaterRole(const std::string& mainPath);

    std::string programFile_;
    std::string updaterPath_;
    std::string manifestUrl_;
    std::chrono::milliseconds waitLimit_ = kFileWaitLimit;
};

// The check for the running program against the manifest address chosen at build time: 3 when
// the window must close now, else 1.
int checkForUpdate();
