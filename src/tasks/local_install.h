#pragma once

#include <cstddef>
#include <memory>
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

// What an installation from the PC installs: route book `name`, from the package at `package`
// (ANSI) or, when `book` is set, from a route book read from GPX.
struct LocalInstall {
    std::string name;
    std::string package;
    std::shared_ptr<const GpxImport> book;
};
// A package is copied into the run's private folder (the user's file is only read) and
// installed, the copy going after use as a download does; a book's set is written once there,
// checked for room and stamped as an unpacked package is, and installed.
void localInstallWorker(TaskContext& context, const LocalInstall& request);
// Starts localInstallWorker as the running task (false, with code 1 posted, while another runs).
bool startLocalInstall(NavigatorState& navigator, TaskState& tasks, LocalInstall request);

// Writes the set of a route book made of GPX into `folder` (made when missing): N.trk and
// N/N.rut.
bool writeRouteBookSet(const GpxImport& imported, const std::string& name,
                       const std::string& folder);
// Writes folder/N.zip from a route book made of GPX: N.trk and N\N.rut. The files it is made
// of do not stay, nor a package that could not be written whole.
bool writeImportPackage(const GpxImport& imported, const std::string& name,
                        const std::string& folder);

// A route book read from a GPX file as a stream, kept in memory until its installation.
struct GpxRouteBook {
    enum class Outcome { Read, Unreadable, NotGpx, NoPoints };
    Outcome outcome = Outcome::Unreadable;
    std::string error;   // NotGpx: the reader's reason (ANSI)
    size_t dropped = 0;  // track points west of 0.001 E or south of 0.00001 N, left out
    std::shared_ptr<const GpxImport> book;  // Read
};
GpxRouteBook readGpxRouteBook(const std::string& gpxPath, const std::string& name);
