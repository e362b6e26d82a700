#pragma once

#include <string>

// Replacing a file, a running program's included, without ever leaving a partial one behind.
namespace platform {

// Replaces `target` with a copy of `source` in one step: the copy is written beside the target
// and then renamed over it, so that anyone opening the target finds either the old file or the
// whole new one. The target keeps its permission bits (a new target gets the source's). On
// failure the target is unchanged and nothing is left beside it.
bool replaceWithCopy(const std::string& source, const std::string& target);

// Lets the file be started as a program: on POSIX it gains the execute permission for everyone
// who may read it; on Windows every ".exe" can be started and nothing is done.
bool makeExecutable(const std::string& path);

}  // namespace platform
