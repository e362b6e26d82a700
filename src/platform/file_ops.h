#pragma once

#include <string>

#include "platform/os_error.h"

// Whole-file and whole-folder operations on local paths (ANSI).
namespace platform {

// Renames or moves a file or a folder; fails when the target exists, for files and folders
// alike (as MoveFile does), so that a move never replaces anything.
bool moveNoReplace(const std::string& from, const std::string& to, OsError* error = nullptr);

// Copies a file's bytes and its last-write time. With failIfExists an existing target is kept
// and the copy fails; otherwise it is replaced.
bool copyFile(const std::string& from, const std::string& to, bool failIfExists,
              OsError* error = nullptr);

// Removes a file, or a folder with everything in it. True when nothing is left at `path` (also
// when nothing was there).
bool removeTree(const std::string& path);

}  // namespace platform
