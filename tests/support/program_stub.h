#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Small programs for tests that start, replace and wait for program files. On POSIX they are
// shell scripts; on Windows they are copies of the test stub program (test_program_stub.exe),
// which reads what it is to do from the bytes appended to its own file.

// What a program file's name ends with.
#ifdef _WIN32
inline constexpr const char* kProgramSuffix = ".exe";
#else
inline constexpr const char* kProgramSuffix = "";
#endif

// A file of the build tree, named as the build names it (a Linux path), as the tests reach it:
// under wine the Linux root is drive Z:.
std::string buildTreeFile(const std::string& path);

// Writes the bytes and makes the file executable (mode 0755 on POSIX).
void writeExecutable(const std::string& path, const std::string& bytes);
// A program that appends one line "started" to `marker` each time it runs.
std::string markerScript(const std::string& marker);
// A program that writes the id of the process that started it (its parent) to `marker`, through
// a temporary name so that nobody reads half of it.
std::string parentScript(const std::string& marker);
// A program that sleeps for as many seconds as its first argument says.
std::string sleeperProgram();
// True once the file exists, polling up to `limit`.
bool waitForFile(const std::string& path, std::chrono::milliseconds limit);

// A started program: a process id on POSIX, a process handle on Windows.
using ProgramId = intptr_t;
// Starts a program as the caller's child with extra environment entries ("NAME=value"); -1 when
// it cannot be started.
ProgramId spawnProgram(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnvironment = {});
// Waits for a program started with spawnProgram; its exit status, or -1.
int waitForProgram(ProgramId program);
bool programRunning(ProgramId program);
// Ends the program at once (and reaps it).
void killProgram(ProgramId program);
// This process's id.
long currentProcessId();
// Whether the caller has a child process left that nobody waited for.
bool hasUnwaitedChild();

#ifndef _WIN32
// The file's permission bits, or -1.
int fileMode(const std::string& path);
#endif
