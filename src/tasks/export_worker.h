#pragma once

#include <optional>
#include <string>

#include "tasks/task_context.h"

// Uploading route books from the navigator to the route book server. The page's argument lists
// positions in the route book list, "0,3".

// Packs and uploads each listed route book; posts progress, failures and the final code 0.
void exportWorker(TaskContext& context, std::string text);

// Writes folder/N.zip from the set N in `folder`: N.trk, N.sim when present, and every entry of
// the folder N, stored as N\entry. A set without its folder gets one holding a route file
// generated from the track. False, with no package left, when a part the set has cannot be
// packed (the system's cause in *error when it had one).
bool buildPackage(const TaskContext& context, const std::string& folder, const std::string& name,
                  platform::OsError* error = nullptr);
