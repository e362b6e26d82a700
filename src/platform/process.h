#pragma once

#include <string>

// Starting other programs.
namespace platform {

// Starts a program file as the shell's "Open" does (no parameters, no working folder, shown
// normally) and does not wait for it. The started program is not a child that must be waited
// for: it outlives the caller. True when the system started it.
bool startProgram(const std::string& path);

}  // namespace platform
