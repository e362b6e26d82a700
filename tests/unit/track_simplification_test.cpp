#include "formats/track_simplification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "support/reference_thinning.h"

namespace {

using Points = std::vector<TrackPoint>;
const auto reference = referenceThinning;

// Point i lies i·amplitude off the axis, on alternating sides: against any chord from the first
// point the farthest point is the one just before the chord's end, so a recursive left split
// would nest once per point.
Points wideningZigZag(size_t n, int32_t amplitude) {
    Points p;
    for (size_t i = 0; i < n; ++i)
        p.push_back({int32_t(i) * 10, (i % 2 ? 1 : -1) * int32_t(i) * amplitude, 0});
    return p;
}

struct Shape {
    const char* name;
    std::function<Points(std::mt19937&, size_t)> make;
};

int32_t uniform(std::mt19937& rng, int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

const Shape kShapes[] = {
    {"straight line with jitter",
     [](std::mt19937& rng, size_t n) {
         Points p;
         for (size_t i = 0; i < n; ++i)
             p.push_back({11600000 + 13 * int32_t(i), 3900000 + uniform(rng, -90, 90), 0});
         return p;
     }},
    {"zig-zag",
     [](std::mt19937& rng, size_t n) {
         Points p;
         int32_t amplitude = uniform(rng, 40, 3000);
         int period = uniform(rng, 1, 9);
         for (size_t i = 0; i < n; ++i)
             p.push_back({11600000 + 10 * int32_t(i),
                          3900000 + ((i / period) % 2 ? amplitude : -amplitude), 0});
         return p;
     }},
    {"closed loop",  // first and last point coincide
     [](std::mt19937& rng, size_t n) {
         Points p;
         double r = uniform(rng, 500, 50000);
         for (size_t i = 0; i < n; ++i) {
             double a = 6.283185307179586 * double(i) / double(n - 1);
             p.push_back({11600000 + int32_t(std::lround(r * std::cos(a))),
                          3900000 + int32_t(std::lround(r * std::sin(a))), 0});
         }
         p.back() = p.front();
         return p;
     }},
    {"duplicate points",
     [](std::mt19937& rng, size_t n) {
         Points p;
         TrackPoint at{11600000, 3900000, 0};
         while (p.size() < n) {
             at.lng += uniform(rng, -400, 400);
             at.lat += uniform(rng, -400, 400);
             for (int k = uniform(rng, 1, 4); k > 0 && p.size() < n; --k)
                 p.push_back(at);
         }
         return p;
     }},
    {"ties on a grid",  // equal distances on both sides of many chords
     [](std::mt19937& rng, size_t n) {
         Points p;
         for (size_t i = 0; i < n; ++i)
             p.push_back({int32_t(i) * 100, uniform(rng, -3, 3) * 100, 0});
         return p;
     }},
    {"distances exactly at the tolerances",  // horizontal chords make d/chord an integer
     [](std::mt19937& rng, size_t n) {
         static const int32_t kOffsets[] = {0, 0, 0, 49, 50, 51, 100, 200, 400, 800, 1600, 3200};
         Points p;
         for (size_t i = 0; i < n; ++i) {
             int32_t offset = kOffsets[uniform(rng, 0, 11)] * (uniform(rng, 0, 1) ? 1 : -1);
             p.push_back({int32_t(i) * 20, offset, 0});
         }
         p.back().lat = p.front().lat = 0;
         return p;
     }},
    {"large coordinates",  // products far beyond 32 bits, spans beyond 31 bits
     [](std::mt19937& rng, size_t n) {
         Points p;
         for (size_t i = 0; i < n; ++i)
             p.push_back(
                 {uniform(rng, INT32_MIN, INT32_MAX), uniform(rng, INT32_MIN, INT32_MAX), 0});
         return p;
     }},
    {"large coordinates within 31 bits",
     [](std::mt19937& rng, size_t n) {
         Points p;
         for (size_t i = 0; i < n; ++i)
             p.push_back(
                 {uniform(rng, -18000000, 18000000) * 59, uniform(rng, -9000000, 9000000) * 59, 0});
         return p;
     }},
    {"drive",
     [](std::mt19937& rng, size_t n) {
         Points p;
         double lng = 11600000, lat = 3900000, heading = 0;
         for (size_t i = 0; i < n; ++i) {
             heading += std::normal_distribution<double>(0, 0.08)(rng);
             double speed = uniform(rng, 0, 30);
             lng += speed * std::cos(heading);
             lat += speed * std::sin(heading);
             p.push_back({int32_t(std::lround(lng)), int32_t(std::lround(lat)), 0});
         }
         return p;
     }},
    {"zig-zag growing wider",  // every split lands next to the range's end
     [](std::mt19937& rng, size_t n) { return wideningZigZag(n, uniform(rng, 1, 40)); }},
    {"spiral",
     [](std::mt19937& rng, size_t n) {
         Points p;
         double growth = uniform(rng, 1, 20);
         for (size_t i = 0; i < n; ++i) {
             double a = 0.05 * double(i);
             double r = 1000 + growth * double(i);
             p.push_back(
                 {int32_t(std::lround(r * std::cos(a))), int32_t(std::lround(r * std::sin(a))), 0});
         }
         return p;
     }},
    {"collinear runs with ties",  // lattice steps repeated: many points on one line, equal d
     [](std::mt19937& rng, size_t n) {
         static const int32_t kSteps[][2] = {{100, 0},  {0, 100},   {-100, 0},
                                             {0, -100}, {100, 100}, {-100, 100}};
         Points p;
         TrackPoint at{0, 0, 0};
         while (p.size() < n) {
             const int32_t* step = kSteps[uniform(rng, 0, 5)];
             for (int k = uniform(rng, 1, 60); k > 0 && p.size() < n; --k) {
                 at.lng += step[0];
                 at.lat += step[1];
                 p.push_back(at);
             }
         }
         return p;
     }},
    {"back and forth on a line",  // d is 0 against most chords, and ties everywhere else
     [](std::mt19937& rng, size_t n) {
         Points p;
         int32_t x = 0;
         for (size_t i = 0; i < n; ++i) {
             x += uniform(rng, -3, 3) * 500;
             p.push_back({x, x / 2 + (i % 97 == 0 ? uniform(rng, -2, 2) * 100 : 0), 0});
         }
         return p;
     }},
};

// Scanning every range, finding every farthest point on the hulls, and the mix the program uses.
const struct {
    const char* name;
    FarthestSearch search;
} kSearches[] = {
    {"default", {}},
    {"scans only", {SIZE_MAX, SIZE_MAX, SIZE_MAX}},
    {"hulls only", {0, 0, 0}},
};

TEST(TrackSimplification, GivesExactlyThePointsOfThinningAgainForEveryTolerance) {
    const size_t kSizes[] = {801, 802, 1000, 1700, 2400, 3000};
    int compared = 0;
    for (const Shape& shape : kShapes) {
        for (uint32_t seed = 1; seed <= 10; ++seed) {
            std::mt19937 rng(seed);
            size_t n = kSizes[seed % std::size(kSizes)];
            Points points = shape.make(rng, n);
            for (size_t i = 0; i < points.size(); ++i)
                points[i].lineId = int32_t(i % 3);
            Points expected = reference(points);
            for (const auto& s : kSearches)
                ASSERT_EQ(simplifyTrack(points, s.search), expected)
                    << shape.name << " seed " << seed << ", " << s.name;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 130);
}

TEST(TrackSimplification, BoundaryCases) {
    // 801 points on a horizontal line, with spikes of height 50 at the given indices: against
    // the whole line their d/chord is exactly 50, against any shorter chord less.
    auto spikes = [](std::initializer_list<size_t> at) {
        Points p;
        for (int32_t i = 0; i < 801; ++i)
            p.push_back({10 * i, 0, 0});
        for (size_t i : at)
            p[i].lat = 50;
        return p;
    };
    // A zig-zag of height 100 on both sides of a horizontal chord: the whole track's ratio is
    // exactly 100 and most splits below it have more, so tolerance 100 keeps over 800 points
    // and 200 keeps none.
    Points zigZag;
    for (int32_t i = 0; i < 5000; ++i)
        zigZag.push_back({10 * i, i == 0 || i == 4999 ? 0 : (i % 2 ? 100 : -100), 0});
    struct Case {
        const char* what;
        Points points;
        std::vector<size_t> kept;  // indices
    } cases[] = {
        {"ratio equal to the tolerance keeps the point", spikes({300}), {0, 300, 800}},
        {"of two equally far points the first is kept", spikes({300, 500}), {0, 300, 800}},
        {"a threshold equal to a doubled tolerance counts as reaching it", zigZag, {0, 4999}},
    };
    for (const auto& c : cases) {
        Points expected;
        for (size_t i : c.kept)
            expected.push_back(c.points[i]);
        EXPECT_EQ(reference(c.points), expected) << c.what;
        for (const auto& s : kSearches)
            EXPECT_EQ(simplifyTrack(c.points, s.search), expected) << c.what << ", " << s.name;
    }
}

TEST(TrackSimplification, LongTracksGiveTheSamePointsOnHullsAsByScanning) {
    // Hull trees many levels deep, and ranges far longer than the generated tracks' above.
    for (const char* name : {"zig-zag growing wider", "spiral", "drive", "collinear runs with ties",
                             "large coordinates"}) {
        const Shape& shape =
            *std::find_if(std::begin(kShapes), std::end(kShapes),
                          [&](const Shape& s) { return s.name == std::string(name); });
        std::mt19937 rng(7);
        Points points = shape.make(rng, 200000);
        Points scanned = simplifyTrack(points, kSearches[1].search);
        EXPECT_LE(scanned.size(), 800u) << name;
        EXPECT_EQ(simplifyTrack(points, kSearches[0].search), scanned) << name;
        EXPECT_EQ(simplifyTrack(points, kSearches[2].search), scanned) << name;
    }
}

TEST(TrackSimplification, ATrackAsDeepAsItIsLongDoesNotExhaustTheStack) {
    Points points = wideningZigZag(100000, 3);
    Points print = simplifyTrack(points);
    EXPECT_LE(print.size(), 800u);
    EXPECT_EQ(print.front(), points.front());
    EXPECT_EQ(print.back(), points.back());
}

}  // namespace
