#pragma once

#include <string>

#include "formats/route_file.h"

// Turning a recorded track into a minimal route book: a Book record that tells the user the
// track still needs editing and one Line record, both carrying the track's length and middle
// point.

// Clears `data`, fills it from the track (when `trackPath` is given) and writes the route file
// to `routePath`. The header keeps the version and date of the last route file read into `data`.
// Always returns 1; whether the file could be written is not reported.
int convertTrackToRouteBook(RouteBookData& data, const std::string& routePath,
                            const std::string& name, const std::string* trackPath);

// Reads the track into data.points; sets `position` to its middle point and returns its length
// in whole metres. 0 with `position` unchanged when the track cannot be read or has no points.
int measureTrack(RouteBookData& data, const std::string& trackPath, TrackPoint& position);

// Metres between two points given in degrees, on a sphere of radius 6371000.7899272 m.
double greatCircleDistance(double lng1, double lat1, double lng2, double lat2);
