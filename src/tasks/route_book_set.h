#pragma once

#include <string>
#include <vector>

#include "tasks/task_context.h"

// A route book N as a set of files in a folder F: F/N.trk (required), F/N.sim, F/N.poi and the
// folder F/N with the route file and its companions. These routines move such a set between a
// local folder and the navigator's track folder (the task's data root), post their own failures
// and wait while the task is paused. A copy stops early on a stop request; a removal always
// finishes, so that a stop never leaves half a set behind.

// What an installation put on the navigator: the files it wrote and the set's folder when it
// made that folder. A failed or stopped installation takes off exactly these, never a file it
// found there.
struct InstalledFiles {
    std::vector<std::string> files;
    std::string createdFolder;
};

// Copies the set N from the local `folder` (N.trk, N.sim when there, and the files of the
// folder N) to the data root: over the remote API or, for a navigator seen as a drive, with
// local copies. Every file is replaced only by a whole copy. Records what it wrote in
// `written`. Posts 9 when a copy fails. False also after a stop request.
bool installRouteBook(const TaskContext& context, const std::string& folder,
                      const std::string& name, InstalledFiles& written);
// Deletes what an installation wrote, the last first. Over the remote API a deletion that fails
// posts 11. False when anything stays.
bool removeInstalledFiles(const TaskContext& context, const InstalledFiles& written);
// Removes the set from the data root over the remote API. Posts 11 when a deletion fails.
bool removeRouteBookRemote(const TaskContext& context, const std::string& name);
// Removes the set from a local folder: false, with nothing touched, when there is no track file.
bool removeRouteBookLocal(const std::string& folder, const std::string& name);
// Copies the set from the navigator (remote API) into the local `folder`. Posts 9 when a copy
// fails. False also after a stop request.
bool copyRouteBookFromDevice(const TaskContext& context, const std::string& folder,
                             const std::string& name);
