#pragma once

// One route file and one track in memory. (Filled in with the route data formats.)
class RouteBookData {};
