#pragma once

#include <vector>

#include "formats/route_file.h"

// The print list thinned the plain way: Douglas-Peucker from scratch for every tolerance 50,
// 100, 200, ... until at most 800 points remain, recursing into the left part of every split,
// with exact 128-bit distances. The yardstick for the program's one-pass thinning in tests and
// benchmarks; recursion as deep as the track is long on some shapes.
std::vector<TrackPoint> referenceThinning(const std::vector<TrackPoint>& points);
