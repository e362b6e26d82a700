#pragma once

#include <optional>
#include <string>

#include "ops/navigator_state.h"

// The list of route books on the navigator (NavigatorState::routeBooks, index = rbid) and the
// route book list document (root rblist) the page shows. Every function here holds the list's
// lock for as long as it uses the list.

// The page's connToPDA: rescans when the list is empty or `text` starts with "r", then answers
// the list document.
std::string connToPDA(NavigatorState& device, const std::string& text);

// Rebuilds the list from the track folder: one entry per "*.trk" (names starting with "." are
// left out), oldest last-write time first; each entry's title is its route file's title, and
// the route book's files are renamed to it where the title can be a file name there. 0 when the
// folder cannot be enumerated (the list is then empty), else 1.
int scanRouteBooks(NavigatorState& device);

// <?xml version="1.0" encoding="GBK" ?><rblist count="N" page="1"><rb><title>T</title>
// <rbid>I</rbid></rb>...</rblist>, newest (highest rbid) first, titles XML-escaped.
std::string buildRouteBookList(NavigatorState& device);

// The title in the route file of route book `name`, or "".
std::string fetchRouteBookTitle(NavigatorState& device, const std::string& name);

// The file name of the route book at `rbid`, or nothing when the list has no such entry.
std::optional<std::string> fileNameAt(NavigatorState& device, long long rbid);

// Frees every entry and empties the list.
void clearRouteBooks(NavigatorState& device);

// Whether the route book files in `root` may take the base name `title`: it must be a plain file
// name that the navigator's file system can hold (not empty, "." or "..", no control character,
// none of \ / : * ? " < > |, not ending in a dot or space) and the longest path of the set must
// stay within 259 characters.
bool isRouteBookFileName(const std::string& root, const std::string& title);
