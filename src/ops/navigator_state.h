#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/guarded.h"
#include "common/seat.h"
#include "device/device_link.h"
#include "formats/route_file.h"
#include "ops/poi_store.h"

// One route book of the navigator's list: the title shown and the base name of its files.
struct RouteBookEntry {
    std::string title;
    std::string fileName;
};

// Index = rbid.
using RouteBookEntries = std::vector<std::unique_ptr<RouteBookEntry>>;

// What the program holds of the navigator's data besides the link: the route book list and the
// route data object, which the window thread and the worker share (each behind its own lock),
// and the POI store, which only the window thread uses; and the seat through which it tells the
// front end of its work.
struct NavigatorState : DeviceLink {
    explicit NavigatorState(Seat& frontEnd) : seat(frontEnd) {}

    Seat& seat;
    Guarded<RouteBookEntries> routeBooks;
    PoiStore poiStore;
    Guarded<RouteBookData> routeData;
};
