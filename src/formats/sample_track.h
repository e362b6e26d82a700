#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/track_file.h"

// Plausible recorded drives for sample data and benchmarks: one point a second along roads with
// straight runs, bends, turns at crossings and stops at lights, with a few metres of receiver
// noise. The same seed gives the same drive on every platform.

struct SampleDriveOptions {
    size_t points = 3600;
    uint32_t seed = 1;
    int32_t startLng = 11639000;  // 116.39 E, 39.90 N
    int32_t startLat = 3990000;
    size_t pointsPerSegment = 3600;  // a new segment (and line number) every hour
    TrackDateTime start{2009, 5, 1, 8, 0, 0};
};

std::vector<TrackSegment> sampleDrive(const SampleDriveOptions& options);
