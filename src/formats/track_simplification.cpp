#include "formats/track_simplification.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

// Douglas-Peucker splits a range at its farthest point F whatever the tolerance; the tolerance
// only decides whether the split is made. So the split tree is fixed, and a point survives a
// tolerance T exactly when its own ratio d(F)/chord and the ratios of all ranges enclosing it
// reach T: when the smallest of them, its threshold, is at least T. Instead of thinning again for
// every doubled tolerance, the tree is grown best-first, highest threshold first, and growth
// stops at the 799th split: that split's threshold decides the tolerance, and every point that
// survives it has been found already (a point's threshold never exceeds its parent's).

namespace {

constexpr double kFirstTolerance = 50.0;

// |a·b − c·e| and squared chords of coordinates differing by up to 2^32 − 1: 65 bits.
struct Wide {
    uint64_t hi = 0;  // 0 or 1
    uint64_t lo = 0;

    bool operator>(const Wide& other) const {
        return hi != other.hi ? hi > other.hi : lo > other.lo;
    }
    bool isZero() const { return hi == 0 && lo == 0; }
    // Rounded to nearest, as a direct conversion of the whole value would be.
    double toDouble() const {
        if (hi == 0) return static_cast<double>(lo);
        uint64_t half = (lo >> 1) | (uint64_t{1} << 63) | (lo & 1);  // low bit kept as sticky
        return static_cast<double>(half) * 2.0;
    }
};

uint64_t magnitude(int64_t v) {
    return v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

Wide sum(uint64_t x, uint64_t y) {
    Wide w;
    w.lo = x + y;
    w.hi = w.lo < x ? 1 : 0;
    return w;
}

Wide crossMagnitude(int64_t a, int64_t b, int64_t c, int64_t e) {
    uint64_t x = magnitude(a) * magnitude(b);
    uint64_t y = magnitude(c) * magnitude(e);
    bool xNegative = x != 0 && ((a < 0) != (b < 0));
    bool yNegative = y != 0 && ((c < 0) != (e < 0));
    if (xNegative != yNegative) return sum(x, y);
    Wide w;
    w.lo = x >= y ? x - y : y - x;
    return w;
}

struct Split {
    size_t at = 0;
    double ratio = 0;  // d(F) / chord
};

// The first farthest point strictly between s and e, or false when every distance is 0.
// Coordinates of the whole track lie within 2^31 − 1 of each other, so 64 bits are exact.
bool findSplitNarrow(const TrackPoint* p, size_t s, size_t e, Split& split) {
    const int64_t sx = p[s].lng;
    const int64_t sy = p[s].lat;
    const int64_t ex = p[e].lng - sx;
    const int64_t ey = p[e].lat - sy;
    int64_t best = 0;
    size_t at = 0;
    for (size_t i = s + 1; i < e; ++i) {
        int64_t d = (p[i].lng - sx) * ey - (p[i].lat - sy) * ex;
        if (d < 0) d = -d;
        if (d > best) {
            best = d;
            at = i;
        }
    }
    if (best == 0) return false;
    split.at = at;
    split.ratio = static_cast<double>(best) / std::sqrt(static_cast<double>(ex * ex + ey * ey));
    return true;
}

// The same for tracks spanning more than that (only damaged files do).
bool findSplitWide(const TrackPoint* p, size_t s, size_t e, Split& split) {
    const int64_t sx = p[s].lng;
    const int64_t sy = p[s].lat;
    const int64_t ex = p[e].lng - sx;
    const int64_t ey = p[e].lat - sy;
    Wide best;
    size_t at = 0;
    for (size_t i = s + 1; i < e; ++i) {
        Wide d = crossMagnitude(p[i].lng - sx, ey, p[i].lat - sy, ex);
        if (d > best) {
            best = d;
            at = i;
        }
    }
    if (best.isZero()) return false;
    split.at = at;
    Wide chord2 = sum(magnitude(ex) * magnitude(ex), magnitude(ey) * magnitude(ey));
    split.ratio = best.toDouble() / std::sqrt(chord2.toDouble());
    return true;
}

bool fitsIn64Bits(const std::vector<TrackPoint>& points) {
    auto [minLng, maxLng] = std::minmax_element(
        points.begin(), points.end(), [](const auto& a, const auto& b) { return a.lng < b.lng; });
    auto [minLat, maxLat] = std::minmax_element(
        points.begin(), points.end(), [](const auto& a, const auto& b) { return a.lat < b.lat; });
    constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
    return int64_t{maxLng->lng} - minLng->lng <= kLimit &&
           int64_t{maxLat->lat} - minLat->lat <= kLimit;
}

struct Range {
    double threshold;  // smallest ratio of this range and every range enclosing it
    size_t start;
    size_t end;
    size_t split;

    bool operator<(const Range& other) const { return threshold < other.threshold; }
};

}  // namespace

std::vector<TrackPoint> simplifyTrack(const std::vector<TrackPoint>& points) {
    if (points.size() <= kMaxPrintPoints) return points;
    const bool narrow = fitsIn64Bits(points);
    const TrackPoint* p = points.data();

    std::vector<Range> heap;  // ranges that some tolerance of 50 or more splits
    auto consider = [&](size_t start, size_t end, double enclosing) {
        if (end - start < 2) return;
        Split split;
        bool found =
            narrow ? findSplitNarrow(p, start, end, split) : findSplitWide(p, start, end, split);
        if (!found || split.ratio < kFirstTolerance) return;
        heap.push_back({std::min(split.ratio, enclosing), start, end, split.at});
        std::push_heap(heap.begin(), heap.end());
    };

    constexpr size_t kMaxKept = kMaxPrintPoints - 2;  // besides the first and the last point
    std::vector<Range> kept;
    double tolerance = kFirstTolerance;
    consider(0, points.size() - 1, std::numeric_limits<double>::infinity());
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end());
        Range range = heap.back();
        heap.pop_back();
        kept.push_back(range);
        if (kept.size() > kMaxKept) {
            // Every tolerance up to this threshold keeps too many points.
            while (tolerance <= range.threshold)
                tolerance *= 2;
            break;
        }
        consider(range.start, range.split, range.threshold);
        consider(range.split, range.end, range.threshold);
    }

    std::vector<size_t> chosen;
    for (const Range& r : kept)
        if (r.threshold >= tolerance) chosen.push_back(r.split);
    std::sort(chosen.begin(), chosen.end());
    std::vector<TrackPoint> print;
    print.reserve(chosen.size() + 2);
    print.push_back(points.front());
    for (size_t i : chosen)
        print.push_back(points[i]);
    print.push_back(points.back());
    return print;
}
