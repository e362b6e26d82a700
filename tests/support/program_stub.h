#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Small programs for tests that start, replace and wait for program files (POSIX only).

// Writes the bytes and makes the file executable (mode 0755).
void writeExecutable(const std::string& path, const std::string& bytes);
// A shell script that appends one line "started" to `marker` each time it runs.
std::string markerScript(const std::string& marker);
// True once the file exists, polling up to `limit`.
bool waitForFile(const std::string& path, std::chrono::milliseconds limit);
// Starts a program as the caller's child with extra environment entries ("NAME=value").
pid_t spawnProgram(const std::string& path, const std::vector<std::string>& args,
                   const std::vector<std::string>& extraEnvironment = {});
// Waits for a child started with spawnProgram; its exit status, or -1.
int waitForProgram(pid_t pid);
// The file's permission bits, or -1.
int fileMode(const std::string& path);
