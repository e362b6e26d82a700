#pragma once

#include <windows.h>

// The first instance's window, shared by every process started from the same program file
// through a data section of the program image that all of them map. Another program file (the
// updater copy, a second installation) has a slot of its own.
namespace instance_slot {

// The window of a running instance, or null when none has one.
HWND runningWindow();
// Records this instance's window.
void claim(HWND window);
// Forgets `window` when it is the recorded one, so that a later start never presents a window
// that has gone (or a window of another program that was given the same handle).
void release(HWND window);

// Brings a running instance's window to the front (restoring it when minimised).
void present(HWND window);

// Whether this start only asks if a window of this program file is open: "--running", as the
// installer asks before it replaces or removes the file. Such a start opens nothing and answers
// through its exit code: kRunningAnswer when a window is open, else 0.
bool isRunningQuery();
inline constexpr int kRunningAnswer = 1;

}  // namespace instance_slot
