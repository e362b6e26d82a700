#include "support/reference_thinning.h"

#include <cmath>

namespace {

using Points = std::vector<TrackPoint>;
__extension__ typedef __int128 Int128;

void referenceRange(const Points& p, size_t start, size_t end, double tolerance, Points& out) {
    while (end - start + 1 > 2) {
        const TrackPoint& s = p[start];
        const TrackPoint& e = p[end];
        Int128 ex = Int128{e.lng} - s.lng;
        Int128 ey = Int128{e.lat} - s.lat;
        Int128 best = -1;
        size_t farthest = 0;
        for (size_t i = start + 1; i < end; ++i) {
            Int128 d = (p[i].lng - Int128{s.lng}) * ey - (p[i].lat - Int128{s.lat}) * ex;
            if (d < 0) d = -d;
            if (d > best) {
                best = d;
                farthest = i;
            }
        }
        if (best == 0) return;
        if (static_cast<double>(best) / std::sqrt(static_cast<double>(ex * ex + ey * ey)) <
            tolerance)
            return;
        referenceRange(p, start, farthest, tolerance, out);
        out.push_back(p[farthest]);
        start = farthest;
    }
}

}  // namespace

std::vector<TrackPoint> referenceThinning(const std::vector<TrackPoint>& p) {
    if (p.size() <= 800) return p;
    for (double tolerance = 50;; tolerance *= 2) {
        Points out{p.front()};
        referenceRange(p, 0, p.size() - 1, tolerance, out);
        out.push_back(p.back());
        if (out.size() <= 800) return out;
    }
}
