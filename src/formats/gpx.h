#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/route_file.h"
#include "formats/track_file.h"

// GPX 1.1, the format other GPS tools read and write, both ways: a navigator track with its
// times as a track (one <trk> per line number), a route book's places as waypoints and its legs
// as a route. Coordinates are the navigator's units (0.00001 degree), which GPX carries exactly
// as degrees with five decimals. Text is ANSI here and UTF-8 in the file.

struct GpxPlace {
    int32_t lng = 0;
    int32_t lat = 0;
    std::string name;
    std::string description;
};

struct GpxPoint {
    int32_t lng = 0;
    int32_t lat = 0;
    std::optional<int64_t> timeMs;  // milliseconds since 1970-01-01 UTC
};

struct GpxTrack {
    std::string name;
    std::optional<int32_t> number;
    std::vector<std::vector<GpxPoint>> segments;
};

struct GpxDocument {
    std::string name;
    std::string description;
    std::string author;
    std::vector<GpxPlace> waypoints;
    std::string routeName;
    std::vector<GpxPlace> routePoints;
    std::vector<GpxTrack> tracks;
};

// The document as GPX 1.1 text (UTF-8). Places and points outside latitude -90..90 or longitude
// -180..180 (180 itself excluded) cannot be written and are left out.
std::string writeGpx(const GpxDocument& document, const std::string& creator);

// Reads GPX 1.0 or 1.1 text (UTF-8). False, with the reason in `error`, for text that is not a
// GPX document or a point without a valid latitude and longitude.
bool readGpx(const std::string& text, GpxDocument& document, std::string& error);

// A navigator route book as GPX: the Book record's title (else `name`), description and author,
// the Poi records as waypoints, the Line records as the route's points, and the track with the
// points' times where their segment has a start time.
GpxDocument routeBookToGpx(const RouteBookData& route, const std::vector<RecordedSegment>& track,
                           const std::string& name);

struct GpxImport {
    RouteBookData route;
    std::vector<TrackSegment> segments;
    size_t points = 0;   // track points written
    size_t dropped = 0;  // track points the navigator cannot show (west of 0.001 E or south of
                         // 0.00001 N), left out
};

// A route book named `name` from a GPX document: the track file's segments (a new one wherever
// a step or a time difference is too large for one record, or times start or stop) and a route
// file with a Book record (the track's length and middle point, the document's description), a
// Poi record per waypoint and a Line record per route point (one for the whole track when there
// is no route). Nothing when the document holds no track point the navigator can show.
std::optional<GpxImport> gpxToRouteBook(const GpxDocument& gpx, const std::string& name);

// Milliseconds since 1970 UTC as ISO 8601 ("2009-05-01T08:30:00Z", with ".250" where there are
// milliseconds).
std::string formatUtcTime(int64_t unixMs);
