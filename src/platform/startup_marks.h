#pragma once

#include <string_view>

// Moments of the program's start, so that a person can see where its time goes. With the
// environment variable VANTU_STARTUP_MARKS set (to anything but "0"), the first mark of each name
// writes one log line: "start-up: NAME at T ms (monotonic clock M ms)", T counted from the
// process's start as near as the system tells it, M the system's monotonic clock, which other
// programs on the machine read alike. Any thread.
namespace platform {

bool startupMarksWanted();
void startupMark(std::string_view name);

// How long ago the process started, in milliseconds (each side asks its system).
double processAgeMs();

}  // namespace platform
