#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "formats/gpx.h"
#include "tasks/task_context.h"

// Route books from files on the PC, installed as the portal's import installs a download: the
// same checks (at most 20 MB, free space for five times the unpacked size), unpacking, renaming,
// stamping and installation, with the import's progress, pause and stop and its messages.

// The name of the route book inside a package, as the import finds it: its last track entry's
// name without its last four characters (".trk") and folders. Nothing for a file that is no zip
// or holds no track.
std::optional<std::string> packageInnerName(const std::string& package);

// The worker's text: the package's path on the PC, a line feed, the route book's name. An empty
// path stands for a package the program has made as N.zip in its private folder.
std::string localInstallText(const std::string& package, const std::string& name);
// Copies the package into the run's private folder (the user's file is only read) and installs
// it; the copy goes after use, as a download does.
void localInstallWorker(TaskContext& context, std::string text);

// Writes folder/N.zip from a route book made of GPX: N.trk and N\N.rut. The files it is made
// of do not stay, nor a package that could not be written whole.
bool writeImportPackage(const GpxImport& imported, const std::string& name,
                        const std::string& folder);

// A route book package made from a GPX file, read as a stream.
struct GpxPackage {
    enum class Outcome { Written, Unreadable, NotGpx, NoPoints, CannotWrite };
    Outcome outcome = Outcome::CannotWrite;
    std::string error;   // NotGpx: the reader's reason (ANSI)
    size_t dropped = 0;  // track points west of 0.001 E or south of 0.00001 N, left out
};
// Writes folder/N.zip from the GPX file at `gpxPath`.
GpxPackage writeGpxPackage(const std::string& gpxPath, const std::string& name,
                           const std::string& folder);
