#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/track_file.h"

// What a person wants to know about a recorded track at a glance.
struct TrackSummary {
    std::string name;  // ANSI
    size_t points = 0;
    size_t segments = 0;      // segments that hold points
    double lengthMetres = 0;  // along the points, as the route book's mileage is measured
    std::optional<TrackPoint> start;
    std::optional<TrackPoint> end;
    std::optional<int64_t> firstTimeMs;  // milliseconds since 1970 UTC
    std::optional<int64_t> lastTimeMs;
};

TrackSummary summarizeTrack(const std::vector<RecordedSegment>& track, const std::string& name);

// One "label: value" line each for name, points, length, start, end and time (the local times
// of the first and last timed points and the span between them). ANSI text.
std::string formatTrackSummary(const TrackSummary& summary);
