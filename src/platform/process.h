#pragma once

#include <string>

#include "platform/os_error.h"

// Starting other programs.
namespace platform {

// Starts a program file as the shell's "Open" does (no parameters, no working folder, shown
// normally) and does not wait for it. The started program is not a child that must be waited
// for: it outlives the caller. True when the system started it; else the cause in *error.
bool startProgram(const std::string& path, OsError* error = nullptr);

}  // namespace platform
