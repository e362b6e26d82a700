#include "formats/track_simplification.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <vector>

// Douglas-Peucker splits a range at its farthest point F whatever the tolerance; the tolerance
// only decides whether the split is made. So the split tree is fixed, and a point survives a
// tolerance T exactly when its own ratio d(F)/chord and the ratios of all ranges enclosing it
// reach T: when the smallest of them, its threshold, is at least T. Instead of thinning again for
// every doubled tolerance, the tree is grown best-first, highest threshold first, and growth
// stops at the 799th split: that split's threshold decides the tolerance, and every point that
// survives it has been found already (a point's threshold never exceeds its parent's).
//
// Finding F by scanning the range costs the range's length. On real drives the splits are
// balanced enough that all scans together read each point about a dozen times, but on shapes where
// every split lands next to the end of its range (a zig-zag widening at every point, a spiral)
// they read it hundreds of times. So the scans share a budget; past it, the convex hulls of
// fixed blocks and of their unions are built once and F is found on them in logarithmic time:
// F lies on the hull of its range, as the extreme point along the chord's normal.

namespace {

constexpr double kFirstTolerance = 50.0;

// Tracks that span more than 2^31 − 1 (only damaged files do) need up to 66 bits for their
// products of coordinate differences: those are computed in 128 bits.
__extension__ using Wide = __int128;

// a·b − c·e, exactly, for differences of two coordinates.
template <class V>
V cross(int64_t a, int64_t b, int64_t c, int64_t e) {
    return V{a} * b - V{c} * e;
}

template <class V>
V absolute(V v) {
    return v < 0 ? -v : v;
}
// Rounded to nearest.
template <class V>
double toDouble(V v) {
    return static_cast<double>(v);
}

struct Chord {
    int64_t sx, sy, ex, ey;

    Chord(const TrackPoint& s, const TrackPoint& e)
        : sx(s.lng), sy(s.lat), ex(int64_t{e.lng} - s.lng), ey(int64_t{e.lat} - s.lat) {}

    // d(q) with its sign: which side of the chord q lies on.
    template <class V>
    V area(const TrackPoint& q) const {
        return cross<V>(q.lng - sx, ey, q.lat - sy, ex);
    }
    template <class V>
    double length() const {
        return std::sqrt(toDouble(cross<V>(ex, ex, -ey, ey)));
    }
};

// The first point of [from, to) with the largest |d|, and that |d|; `to` when every d is 0.
template <class V>
size_t scanFarthest(const TrackPoint* p, size_t from, size_t to, const Chord& c, V& best) {
    best = V{};
    size_t at = to;
    for (size_t i = from; i < to; ++i) {
        V d = absolute(c.area<V>(p[i]));
        if (d > best) {
            best = d;
            at = i;
        }
    }
    return at;
}

// Orders points by (lng, lat) as one unsigned number, which compiles without branches.
uint64_t lexKey(const TrackPoint& a) {
    constexpr uint32_t kBias = uint32_t{1} << 31;
    return uint64_t{static_cast<uint32_t>(a.lng) ^ kBias} << 32 |
           (static_cast<uint32_t>(a.lat) ^ kBias);
}

bool lexLess(const TrackPoint& a, const TrackPoint& b) {
    return lexKey(a) < lexKey(b);
}

// Convex hulls of the blocks of kBlock consecutive points (level 0) and of the unions of 2^k
// neighbouring blocks (level k). Each hull is kept as two chains of point indices without
// collinear points, counter-clockwise: the lower one from the smallest (lng, lat) to the
// largest, the upper one back. Along a chain the edges turn steadily, so d rises to at most one
// peak and falls: its largest value is found by bisection.
template <class V>
class HullTree {
  public:
    HullTree(const TrackPoint* p, size_t n) : p_(p), n_(n) {
        // A block's hull from the hulls of its runs that are sorted one way or the other: a
        // track has few of them, and sorting by (lng, lat) would cost more than all the rest.
        Level base;
        Level runs;
        Level merged;
        for (size_t a = 0; a < n; a += kBlock) {
            size_t b = std::min(n, a + kBlock);
            runs.clear();
            for (size_t i = a; i < b;) {
                size_t j = i + 1;
                int order = 0;  // of the run so far: 1 ascending, −1 descending, 0 all equal
                for (; j < b; ++j) {
                    int step = lexLess(p[j - 1], p[j]) ? 1 : lexLess(p[j], p[j - 1]) ? -1 : 0;
                    if (step != 0 && order != 0 && step != order) break;
                    if (step != 0) order = step;
                }
                appendRunHull(runs, i, j, order < 0);
                i = j;
            }
            while (runs.nodes() > 1) {
                mergePairs(runs, merged);
                std::swap(runs, merged);
            }
            base.append(runs, 0);
        }
        levels_.push_back(std::move(base));
        while (levels_.back().nodes() > 1) {
            Level up;
            mergePairs(levels_.back(), up);
            levels_.push_back(std::move(up));
        }
    }

    // The first point of [from, to) with the largest |d|, and that |d|; `to` when every d is 0.
    size_t farthest(size_t from, size_t to, const Chord& c, V& best) const {
        Found found;
        visit(levels_.size() - 1, 0, from, to, c, found);
        best = found.value;
        if (found.value == V{}) return to;
        if (found.at != kNone) return found.at;
        // The first point reaching the largest |d| lies in the first block that reaches it.
        size_t level = found.level;
        size_t node = found.node;
        while (level > 0) {
            --level;
            node *= 2;
            if (largest(level, node, c) != found.value) ++node;
        }
        V value;
        return scanFarthest(p_, node * kBlock, std::min(n_, (node + 1) * kBlock), c, value);
    }

  private:
    static constexpr size_t kBlock = 256;
    static constexpr size_t kNone = std::numeric_limits<size_t>::max();

    // Hulls one after the other.
    struct Level {
        std::vector<uint32_t> vertices;
        // Hull k: lower chain [bounds[2k], bounds[2k+1]), upper chain [bounds[2k+1], bounds[2k+2]).
        std::vector<uint32_t> bounds{0};

        size_t nodes() const { return bounds.size() / 2; }
        const uint32_t* begin(size_t k, int chain) const {
            return vertices.data() + bounds[2 * k + chain];
        }
        const uint32_t* end(size_t k, int chain) const {
            return vertices.data() + bounds[2 * k + chain + 1];
        }
        void endChain() { bounds.push_back(static_cast<uint32_t>(vertices.size())); }
        void clear() {
            vertices.clear();
            bounds.assign(1, 0);
        }
        void append(const Level& other, size_t k) {
            for (int chain = 0; chain < 2; ++chain) {
                vertices.insert(vertices.end(), other.begin(k, chain), other.end(k, chain));
                endChain();
            }
        }
    };

    struct Found {
        V value{};
        size_t level = 0;
        size_t node = 0;
        size_t at = kNone;  // set when found by scanning part of a block
    };

    bool leftTurn(uint32_t a, uint32_t b, uint32_t q) const {
        const TrackPoint& pa = p_[a];
        const TrackPoint& pb = p_[b];
        const TrackPoint& pq = p_[q];
        return cross<V>(int64_t{pb.lng} - pa.lng, int64_t{pq.lat} - pa.lat,
                        int64_t{pb.lat} - pa.lat, int64_t{pq.lng} - pa.lng) > V{};
    }

    // Andrew's monotone chain: adds q to the chain [begin, top) of points sorted by (lng, lat),
    // one way or the other; returns the chain's new end.
    uint32_t* extendChain(uint32_t* begin, uint32_t* top, uint32_t q) const {
        while (top - begin >= 2 && !leftTurn(top[-2], top[-1], q))
            --top;
        *top++ = q;
        return top;
    }

    // The hull of the points i..j−1, which are sorted by (lng, lat) or, when `descending`, the
    // other way round.
    void appendRunHull(Level& level, size_t i, size_t j, bool descending) const {
        for (int chain = 0; chain < 2; ++chain) {
            size_t begin = level.vertices.size();
            level.vertices.resize(begin + (j - i));
            uint32_t* first = level.vertices.data() + begin;
            uint32_t* top = first;
            if ((chain == 0) != descending)
                for (size_t k = i; k < j; ++k)
                    top = extendChain(first, top, static_cast<uint32_t>(k));
            else
                for (size_t k = j; k-- > i;)
                    top = extendChain(first, top, static_cast<uint32_t>(k));
            level.vertices.resize(begin + static_cast<size_t>(top - first));
            level.endChain();
        }
    }

    // The hulls of neighbouring pairs of hulls: every vertex of a union's chain is a vertex of
    // the same chain of one of its parts, so merging the parts' chains in order is enough.
    void mergePairs(const Level& below, Level& level) const {
        level.clear();
        level.vertices.reserve(below.vertices.size());
        for (size_t k = 0; k < below.nodes(); k += 2) {
            if (k + 1 == below.nodes()) {
                level.append(below, k);
                break;
            }
            for (int chain = 0; chain < 2; ++chain) {
                const uint32_t* a = below.begin(k, chain);
                const uint32_t* aEnd = below.end(k, chain);
                const uint32_t* b = below.begin(k + 1, chain);
                const uint32_t* bEnd = below.end(k + 1, chain);
                size_t begin = level.vertices.size();
                level.vertices.resize(begin + static_cast<size_t>((aEnd - a) + (bEnd - b)));
                uint32_t* first = level.vertices.data() + begin;
                uint32_t* top = first;
                // The lower chain runs by ascending (lng, lat), the upper one by descending.
                while (a != aEnd && b != bEnd) {
                    uint64_t ka = lexKey(p_[*a]);
                    uint64_t kb = lexKey(p_[*b]);
                    bool bFirst = chain == 0 ? kb < ka : ka < kb;
                    uint32_t q = bFirst ? *b : *a;
                    a += !bFirst;
                    b += bFirst;
                    top = extendChain(first, top, q);
                }
                for (; a != aEnd; ++a)
                    top = extendChain(first, top, *a);
                for (; b != bEnd; ++b)
                    top = extendChain(first, top, *b);
                level.vertices.resize(begin + static_cast<size_t>(top - first));
                level.endChain();
            }
        }
    }

    // The largest d (or −d) on a chain along which it rises to one peak and then falls.
    V peak(const uint32_t* chain, size_t count, const Chord& c, bool negate) const {
        auto value = [&](size_t i) {
            V d = c.area<V>(p_[chain[i]]);
            return negate ? -d : d;
        };
        size_t lo = 0;
        size_t hi = count - 1;
        while (lo < hi) {
            size_t mid = lo + (hi - lo) / 2;
            if (value(mid + 1) > value(mid))
                lo = mid + 1;
            else
                hi = mid;
        }
        return value(lo);
    }

    // The largest |d| over a node's points. The largest d lies on the lower chain when the
    // chord's normal (ey, −ex) points down or straight left, otherwise on the upper chain; the
    // largest −d on the other one.
    V largest(size_t level, size_t node, const Chord& c) const {
        const Level& l = levels_[level];
        const uint32_t* lower = l.begin(node, 0);
        size_t lowerCount = static_cast<size_t>(l.end(node, 0) - lower);
        const uint32_t* upper = l.begin(node, 1);
        size_t upperCount = static_cast<size_t>(l.end(node, 1) - upper);
        bool lowerForMax = c.ex > 0 || (c.ex == 0 && c.ey < 0);
        V high =
            lowerForMax ? peak(lower, lowerCount, c, false) : peak(upper, upperCount, c, false);
        V low = lowerForMax ? peak(upper, upperCount, c, true) : peak(lower, lowerCount, c, true);
        return std::max(high, low);
    }

    // Visits the nodes that tile [from, to) in order, keeping the first with the largest |d|.
    void visit(size_t level, size_t node, size_t from, size_t to, const Chord& c,
               Found& found) const {
        size_t a = (node * kBlock) << level;
        size_t b = std::min(n_, ((node + 1) * kBlock) << level);
        if (b <= from || a >= to) return;
        if (from <= a && b <= to) {
            V value = largest(level, node, c);
            if (value > found.value) found = {value, level, node, kNone};
        } else if (level == 0) {
            V value;
            size_t at = scanFarthest(p_, std::max(a, from), std::min(b, to), c, value);
            if (value > found.value) found = {value, 0, node, at};
        } else {
            visit(level - 1, 2 * node, from, to, c, found);
            visit(level - 1, 2 * node + 1, from, to, c, found);
        }
    }

    const TrackPoint* p_;
    size_t n_;
    std::vector<Level> levels_;
};

// A budget of reads per track point.
class Budget {
  public:
    Budget(size_t perPoint, size_t points)
        : limit_(perPoint > std::numeric_limits<size_t>::max() / points
                     ? std::numeric_limits<size_t>::max()
                     : perPoint * points) {}

    bool allows(size_t reads) const { return reads <= limit_ && used_ <= limit_ - reads; }
    void spend(size_t reads) { used_ += reads; }

  private:
    size_t limit_;
    size_t used_ = 0;
};

// Finds the farthest point of a range: by scanning while the scans stay within their budgets,
// then on hulls built once. Both give the same point.
template <class V>
class FarthestPoint {
  public:
    FarthestPoint(const std::vector<TrackPoint>& points, const FarthestSearch& search)
        : points_(points),
          scans_(search.scanBudget, points.size()),
          lopsidedScans_(search.lopsidedBudget, points.size()),
          shortRange_(search.shortRange) {}

    struct Split {
        size_t at;
        double ratio;  // d(F) / chord
    };

    // The first farthest point strictly between s and e, or nothing when every d is 0. `parent`
    // is the number of points of the range that s..e was split from, 0 for the whole track.
    std::optional<Split> find(size_t s, size_t e, size_t parent) {
        const TrackPoint* p = points_.data();
        Chord c(p[s], p[e]);
        size_t length = e - s - 1;
        // Scanning a range that is nearly all of its parent again is the work the hulls save.
        bool lopsided = parent != 0 && (length + 2) * 8 > parent * 7;
        V best;
        size_t at;
        if (length <= shortRange_ ||
            (!tree_ && scans_.allows(length) && (!lopsided || lopsidedScans_.allows(length)))) {
            if (!tree_) {
                scans_.spend(length);
                if (lopsided) lopsidedScans_.spend(length);
            }
            at = scanFarthest(p, s + 1, e, c, best);
        } else if (tree_ || points_.size() <= std::numeric_limits<uint32_t>::max()) {
            if (!tree_) tree_.emplace(p, points_.size());
            at = tree_->farthest(s + 1, e, c, best);
        } else {
            at = scanFarthest(p, s + 1, e, c, best);  // too long for 32-bit hull vertices
        }
        if (at == e) return std::nullopt;
        return Split{at, toDouble(best) / c.length<V>()};
    }

  private:
    const std::vector<TrackPoint>& points_;
    Budget scans_;
    Budget lopsidedScans_;
    size_t shortRange_;
    std::optional<HullTree<V>> tree_;
};

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

template <class V>
std::vector<TrackPoint> thin(const std::vector<TrackPoint>& points, const FarthestSearch& search) {
    FarthestPoint<V> farthest(points, search);
    std::vector<Range> heap;  // ranges that some tolerance of 50 or more splits
    auto consider = [&](size_t start, size_t end, double enclosing, size_t parent) {
        if (end - start < 2) return;
        auto split = farthest.find(start, end, parent);
        if (!split || split->ratio < kFirstTolerance) return;
        heap.push_back({std::min(split->ratio, enclosing), start, end, split->at});
        std::push_heap(heap.begin(), heap.end());
    };

    constexpr size_t kMaxKept = kMaxPrintPoints - 2;  // besides the first and the last point
    std::vector<Range> kept;
    double tolerance = kFirstTolerance;
    consider(0, points.size() - 1, std::numeric_limits<double>::infinity(), 0);
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
        size_t parent = range.end - range.start + 1;
        consider(range.start, range.split, range.threshold, parent);
        consider(range.split, range.end, range.threshold, parent);
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

}  // namespace

std::vector<TrackPoint> simplifyTrack(const std::vector<TrackPoint>& points,
                                      const FarthestSearch& search) {
    if (points.size() <= kMaxPrintPoints) return points;
    // Coordinates within 2^31 − 1 of each other keep every product in 64 bits.
    return fitsIn64Bits(points) ? thin<int64_t>(points, search) : thin<Wide>(points, search);
}
