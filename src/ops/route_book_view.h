#pragma once

#include <optional>
#include <string>

#include "ops/navigator_state.h"

// The page's showRoadbook: the route book document (root RouteBook) of the route book whose rbid
// is `text` (read with atoi): its track and route file are read into the route data object and
// written as the document. A bad rbid posts status code 2 and answers "".
std::string showRoadbook(NavigatorState& device, const std::string& text);

// Route book `name` as GPX 1.1 text (UTF-8): its track with the points' times, its places and
// legs; a recorded track without route file gives its track alone. Nothing when the track cannot
// be read.
std::optional<std::string> routeBookGpx(NavigatorState& device, const std::string& name,
                                        const std::string& creator);
