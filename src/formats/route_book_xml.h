#pragma once

#include <string>

#include "formats/route_file.h"
#include "formats/track_simplification.h"

// The route book document (root RouteBook) that the page shows: the route file's attributes,
// its points of interest and lines, the print list of the track (at most 800 points) and the
// description, as ANSI text on one line. Appends to `out`; `name` is used only when the route
// data has no Book record. Always returns 1.
int writeRouteBookXml(const RouteBookData& data, std::string& out, const std::string& name);
