#pragma once

#include <string>

#include "session/device_manager.h"

// The program's own page methods for files on the PC: a route book package or a GPX file put on
// the navigator, a route book saved as GPX. The page never names a path: each method asks the
// user in the system's dialog (platform/file_dialog.h) and answers with the outcome, one element
// (ANSI):
//
//   <pcfile status="S" file="F" name="N" dropped="D">message</pcfile>
//
// S is "cancelled" (nothing chosen, nothing done), "started" (the installation runs as a task,
// with the import's progress, pause, stop and messages), "saved" (the file is written) or
// "refused" (nothing done; the message says why). F is the chosen file's name without its
// folder, N the route book's name, D the GPX track points the navigator cannot keep; the
// message is for the user: why it was refused, what was saved, or which points the navigator
// cannot keep.

// Installs a route book package (.zip) from the PC under `name`, or under the name of the route
// book inside the package when `name` is empty.
std::string installPackageFromPC(DeviceManager& device, const std::string& name);
// Puts a GPX file on the navigator as route book `name` (empty: the file's name), made as
// vantu-cli import-gpx makes its package and installed as a package is.
std::string installGpxFromPC(DeviceManager& device, const std::string& name);
// Saves the route book at list position `rbid` (a recorded track too) as GPX 1.1.
std::string saveGpxToPC(DeviceManager& device, const std::string& rbid);
