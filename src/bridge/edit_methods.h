#pragma once

#include <string>

#include "session/device_manager.h"

// The route book editor's methods (portal/edit_io.js), over the editing document of
// docs/edit-document.md. The document crosses the script boundary in the system's code page, so
// both ways it is JSON in ASCII alone: every other character as a JSON escape.

// The route book at list position SOURCE as the editing document, or with SOURCE "package" the
// route book of a package the user chooses in the system's dialog. Answers
//   {"document": {...}, "limits": {...}, "navigatorName": "N", "notes": ["..."]}
// with the route book's name on the navigator ("" for a package) and what will not come back
// byte for byte, or {"refused": "why"}, or {"cancelled": true}.
std::string editRouteBook(DeviceManager& device, const std::string& source);

// REQUEST: the route book's name, a line feed, "replace" or nothing, a line feed, the document.
// Checks the document, then starts the task that puts it on the navigator by a complete copy as
// route book NAME, or in place of the one of that name with "replace", with the import's
// progress, pause and stop. Answers as the methods for files on the PC (bridge/pc_files.h):
// started, present (the navigator has NAME and "replace" was not given) or refused.
std::string saveEditToPDA(DeviceManager& device, const std::string& request);

// REQUEST: "package" or "gpx", a line feed, the document. Checks it and saves it as a route book
// package or a GPX 1.1 file that the user chooses in the save dialog, named after the file:
// saved, cancelled or refused.
std::string saveEditToPC(DeviceManager& device, const std::string& request);
