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

}  // namespace instance_slot
