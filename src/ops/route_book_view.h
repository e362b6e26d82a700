#pragma once

#include <string>

#include "ops/navigator_state.h"

// The page's showRoadbook: the route book document (root RouteBook) of the route book whose rbid
// is `text` (read with atoi): its track and route file are read into the route data object and
// written as the document. A bad rbid posts status code 2 and answers "".
std::string showRoadbook(NavigatorState& device, const std::string& text);
