#pragma once

#include <cstddef>
#include <string>

#include "platform/os_error.h"

// What each side does for the run-folder policy (private_folder.cpp, declared in paths.h): make
// a folder that only the user can enter, tell what stands at a path, and hold the run's folder so
// that other runs see the run live. Paths are ANSI, without a final separator unless said.
namespace platform::run_folder {

// The length of the random part a made folder's name ends with: ASCII letters and digits.
#ifdef _WIN32
inline constexpr size_t kRandomLength = 10;
#else
inline constexpr size_t kRandomLength = 6;  // mkdtemp's
#endif

// Makes a folder named `base` + a fresh random part that only the user can enter, never taking
// a name where something stands. Its path with a final separator, or empty when it cannot be
// made (the system's cause in *error) or does not turn out to be the user's own.
std::string makeClosed(const std::string& base, OsError* error = nullptr);

enum class Found {
    Nothing,
    Closed,  // a real folder (not a link) of the user's own that nobody else can enter
    Other,   // anything else: a link, a file, someone else's folder or one open to others
};
Found whatStandsAt(const std::string& path);

// The per-user runtime folder when the system names one that is really the user's own (not a
// link, closed to others), with a final separator; empty otherwise.
std::string runtimeFolder();

// Holds `folder` for as long as the process lives, in place of any folder held before: another
// run's isHeld then sees it live, however this run ends. Waits out another run's probe.
void hold(const std::string& folder);
// Lets go of the held folder, so that it can be removed.
void release();
// Whether a run holds `folder`, or it cannot be told. The probe holds it for a moment.
bool isHeld(const std::string& folder);

// The running process: a forked child makes a folder of its own and leaves its parent's alone.
unsigned long processId();

}  // namespace platform::run_folder
