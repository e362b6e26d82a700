#pragma once

#include <string>

#include "tasks/task_context.h"

// A route book N as a set of files in a folder F: F/N.trk (required), F/N.sim, F/N.poi and the
// folder F/N with the route file and its companions. These routines move such a set between a
// local folder and the navigator's track folder (the task's data root), post their own failures
// and wait while the task is paused. A copy stops early on a stop request; a removal always
// finishes, so that a stop never leaves half a set behind.

// Copies the set from the local `folder` to the data root of a navigator reached through the
// remote API. Posts 9 when a copy fails. False also after a stop request.
bool installRouteBookRemote(const TaskContext& context, const std::string& folder,
                            const std::string& name);
// The same for a navigator seen as a drive, with local copies that replace existing files.
bool installRouteBookLocal(const TaskContext& context, const std::string& folder,
                           const std::string& name);
// Removes the set from the data root over the remote API. Posts 11 when a deletion fails.
bool removeRouteBookRemote(const TaskContext& context, const std::string& name);
// Removes the set from a local folder: false, with nothing touched, when there is no track file.
bool removeRouteBookLocal(const std::string& folder, const std::string& name);
// Copies the set from the navigator (remote API) into the local `folder`. Posts 9 when a copy
// fails. False also after a stop request.
bool copyRouteBookFromDevice(const TaskContext& context, const std::string& folder,
                             const std::string& name);
