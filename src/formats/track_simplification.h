#pragma once

#include <cstddef>
#include <vector>

#include "formats/route_file.h"

inline constexpr size_t kMaxPrintPoints = 800;

// How thinning finds the point of a range farthest from its chord: by scanning the range until
// all scans together have read every track point scanBudget times, or those of ranges that hold
// more than 7/8 of the range they were split from have read it lopsidedBudget times; then on
// convex hulls built once, except for ranges of at most shortRange points. The print list never
// depends on it; tests pick the extremes to compare the two ways.
struct FarthestSearch {
    size_t scanBudget = 24;
    size_t lopsidedBudget = 4;
    size_t shortRange = 1024;
};

// The print list of a track: all points when there are at most 800; otherwise the first point,
// the points that Douglas-Peucker keeps at the smallest tolerance of 50, 100, 200, ... (units of
// 0.00001 degree, longitude and latitude alike) that leaves at most 800, and the last point.
std::vector<TrackPoint> simplifyTrack(const std::vector<TrackPoint>& points,
                                      const FarthestSearch& search = {});
