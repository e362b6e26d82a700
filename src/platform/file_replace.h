#pragma once

#include <string>

#include "platform/os_error.h"

// Replacing a file, a running program's included, without ever leaving a partial one behind.
namespace platform {

// Replaces `target` with a copy of `source` in one step: the copy is written beside the target
// and then renamed over it, so that anyone opening the target finds either the old file or the
// whole new one. The target keeps its permission bits (a new target gets the source's). On
// failure the target is unchanged and nothing is left beside it.
bool replaceWithCopy(const std::string& source, const std::string& target,
                     OsError* error = nullptr);

// Puts the complete file `fresh`, written beside `target` on the same volume, in the target's
// place in one step: its bytes reach the disk first, then it takes the name, so that anyone
// opening the target finds the old file or the whole new one, also after a crash. An existing
// target's attributes (permission bits, read-only) carry over. False when `fresh` is no file or
// the move fails: both stay as they were.
bool moveIntoPlace(const std::string& fresh, const std::string& target, OsError* error = nullptr);

// Lets the file be started as a program: on POSIX it gains the execute permission for everyone
// who may read it; on Windows every ".exe" can be started and nothing is done.
bool makeExecutable(const std::string& path);

}  // namespace platform
