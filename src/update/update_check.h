#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/seat.h"
#include "update/update_fetch.h"

// Self-update from the update manifest, checked after every completed navigation.
//
// The manifest's top-level element "do" holds blocks of commands, run in document order:
// "check" (path, md5) ends its block when the program file's digest equals md5; "download"
// (url, signature, md5 optional) asks the user and fetches the new program into the updater
// copy; "run" starts the copy; "exit" makes the program close. The copy, running under the
// updater name, waits for the old program to end, replaces the main program file with itself and
// starts it; the restarted program deletes the copy.
//
// Only a copy that arrived whole and whose signature (platform/signature.h: base64 of r and s)
// is one of its bytes by the update key built into the program is ever started; where the
// manifest also gives an MD5, the copy must match it too. A download without a signature is not
// offered; a copy that fails either check is deleted; the log says why. A manifest read over
// https has the program come over https too. Without a manifest address (a build that has none)
// nothing is checked; where the program's folder cannot be written, no new version is offered,
// and the log says why once per run.

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
// `stop`, when given, ends the wait early.
void waitUntilFree(const std::string& path, std::chrono::milliseconds limit = kFileWaitLimit,
                   const std::function<bool()>& stop = {});
// waitUntilFree, then deletes the file; a missing file or a failed deletion is no error.
void waitAndDelete(const std::string& path, std::chrono::milliseconds limit = kFileWaitLimit,
                   const std::function<bool()>& stop = {});

// How long and how much the check may fetch.
struct UpdateLimits {
    FetchLimits manifest = manifestFetchLimits();
    FetchLimits program = programFetchLimits();
};

// The program download's limits for a manifest read from `manifestUrl`: https only (redirects
// included) when the manifest came over https.
FetchLimits programLimitsFor(const std::string& manifestUrl, FetchLimits limits);

// One command of a manifest's block: its name and the text of each of its child elements.
struct UpdateCommand {
    std::string name;
    std::vector<std::pair<std::string, std::string>> parameters;
    // The first parameter called `name`; nothing when there is none or it has no text.
    std::optional<std::string> parameter(std::string_view name) const;
};
using UpdateBlock = std::vector<UpdateCommand>;

// The blocks of the manifest's first top-level element "do". Nothing when there is none, or when
// the text is larger or more deeply nested than a manifest may be (the reason in `refusal`).
std::optional<std::vector<UpdateBlock>> readUpdateManifest(const std::string& text,
                                                           std::string* refusal = nullptr);

// What checkForUpdate and runUpdateBlock answer. The numbers travel in window messages.
enum class UpdateResult : int { BlockEnded = -1, UpToDate = 0, GoOn = 1, Close = 3 };

class Updater {
  public:
    // `publicKey`: the update key as platform::readPublicKey takes it; without a valid one no
    // download is ever offered.
    Updater(std::string programFile, std::string manifestUrl, std::string publicKey,
            UpdateLimits limits = {});

    const std::string& updaterPath() const { return updaterPath_; }
    // True when this program is an updater copy: its check only hands over to the main program.
    bool isUpdaterCopy() const;
    void setWaitLimit(std::chrono::milliseconds limit) { waitLimit_ = limit; }
    // Who answers the update question (true for Yes); without one, nobody says Yes.
    void setAsk(std::function<bool(const std::string& text, const std::string& title)> ask);
    // Polled while the check fetches or waits; true ends that step as a failure.
    void setStop(std::function<bool()> stop);

    // Close when the program must close now, else GoOn. A check started while another one runs
    // (from inside its question box) answers GoOn at once.
    UpdateResult checkForUpdate();
    // Runs one block of the manifest; only Close matters to the caller.
    UpdateResult runUpdateBlock(const UpdateBlock& block);

  private:
    UpdateResult takeUpdaterRole(const std::string& mainPath);
    bool download(const UpdateCommand& command);
    // Why the fetched copy must not run (its MD5 or its signature), or empty when it may.
    std::string refusalOfCopy(const UpdateCommand& command, const std::string& signature) const;
    // Whether the copy could replace the program file; says once why not.
    bool canReplaceProgram();

    std::string programFile_;
    std::string updaterPath_;
    std::string manifestUrl_;
    std::optional<std::string> publicKey_;
    UpdateLimits limits_;
    std::chrono::milliseconds waitLimit_ = kFileWaitLimit;
    std::function<bool(const std::string&, const std::string&)> ask_;
    std::function<bool()> stop_;
    // The copy at updaterPath_ arrived whole and verified during this check: "run" may start it.
    bool copyReady_ = false;
    bool reportedReadOnly_ = false;
};

// Runs the update check on a thread of its own, so that the window never waits on the network
// or on a busy file. What the user sees stays on the window's thread: the check posts an
// UpdateQuestion event through the seat when it needs the answer to the question, and UpdateDone
// or UpdateClose at its end; the window hands both to handleEvent, which asks through the seat.
class BackgroundUpdate {
  public:
    BackgroundUpdate(std::string programFile, std::string manifestUrl, std::string publicKey,
                     Seat& seat, UpdateLimits limits = {});
    // Ends a running check (a pending question is answered No, transfers and waits end) and
    // waits for its thread.
    ~BackgroundUpdate();
    BackgroundUpdate(const BackgroundUpdate&) = delete;
    BackgroundUpdate& operator=(const BackgroundUpdate&) = delete;

    bool isUpdaterCopy() const { return updater_.isUpdaterCopy(); }
    // Window thread. Starts a check; false (and nothing started) while one runs.
    bool start();
    // Window thread. Takes the check's events: asks the question and hands the answer back, or
    // reads the result. Answers whether the event was one of them; `closeNow` becomes true when
    // the program must close.
    bool handleEvent(const TaskEvent& event, bool& closeNow);
    bool running() const { return running_.load(); }

  private:
    bool askFromCheck();

    enum class Question { None, Asked, Yes, No };

    Updater updater_;
    Seat& seat_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::condition_variable answered_;
    Question question_ = Question::None;
    bool ending_ = false;
};

// The manifest address and the update key chosen at build time.
std::string updateManifestUrl();
std::string updatePublicKey();
