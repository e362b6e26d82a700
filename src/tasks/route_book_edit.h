#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/edit_document.h"
#include "tasks/task_context.h"

// A route book's set of files (route_book_set.h) between the editing document, a local folder
// and the navigator. Names are ANSI.

struct SetDocument {
    std::optional<EditDocument> document;
    std::string refusal;
    // The files that will not come back byte for byte, and why (a file cut short).
    std::vector<std::string> inexact;
};
// The set N in the local `folder` as a document: N.trk, N.sim, the route file N\N.rut and the
// other files of the folder N (what lies in a folder below it is no part of the set). Refused,
// with the reason, when there is no track file the navigator reads or the set holds more than a
// document may.
SetDocument readRouteBookSet(const std::string& folder, const std::string& name);

// Writes the document's set into the local `folder` (which holds nothing of the name yet) as
// route book N: N.trk, N.sim, N\N.rut and the folder's other files, where a file named after
// the document's name ("Day1.tps" of "Day1") takes N's name as a route book's files do when it
// is renamed. Empty when written; else the reason: two files the navigator takes for one (letter
// case aside), a name the system's code page cannot hold, or a write that failed.
std::string writeRouteBookSet(const EditDocument& document, const std::string& folder,
                              const std::string& name);

enum class EditedInstall { Installed, Present, Failed };
// Puts the set N from the local `folder` on the navigator by a complete copy, as a new route
// book or, with `replace`, in place of the one the navigator has under that name (letter case
// aside), and lists it. Present, with nothing changed, when it has one and `replace` is not
// given. Failed after a failure (posted as the installation posts it) or a stop before the set
// took its place.
EditedInstall installEditedSet(TaskContext& context, const std::string& folder,
                               const std::string& name, bool replace);
