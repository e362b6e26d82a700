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

// A point as one unsigned number, longitude first, each coordinate offset by 2^31: the numbers
// order points by (lng, lat) without branches, and differences of their halves are differences
// of the coordinates.
using Packed = uint64_t;
constexpr uint32_t kBias = uint32_t{1} << 31;

Packed pack(const TrackPoint& a) {
    return Packed{static_cast<uint32_t>(a.lng) ^ kBias} << 32 |
           (static_cast<uint32_t>(a.lat) ^ kBias);
}
int64_t packedLng(Packed a) {
    return static_cast<int64_t>(a >> 32);
}
int64_t packedLat(Packed a) {
    return static_cast<int64_t>(a & 0xFFFFFFFFu);
}
TrackPoint unpack(Packed a) {
    return {static_cast<int32_t>(static_cast<uint32_t>(a >> 32) ^ kBias),
            static_cast<int32_t>(static_cast<uint32_t>(a) ^ kBias), 0};
}

// Convex hulls of the blocks of kBlock consecutive points (level 0) and of the unions of kFan^k
// neighbouring blocks (level k). Each hull is kept as two chains of packed points without
// collinear points, counter-clockwise: the lower one from the smallest (lng, lat) to the
// largest, the upper one back. Along a chain the edges turn steadily, so d rises to at most one
// peak and falls: its largest value is found by bisection. The chains hold coordinates, not
// point numbers: building them reads each vertex where it lies, and a search needs no more.
//
// A chain is made by Andrew's monotone chain from its points in (lng, lat) order, which come
// from merging sorted runs: a block's runs sorted one way or the other (a track has few of them,
// and sorting outright would cost more than all the rest), or the same chains of the hulls one
// level down. Four of those are merged at a time, so that half the levels are never built: on
// tracks that circle, most points stay on their hulls for several levels.
template <class V>
class HullTree {
  public:
    HullTree(const TrackPoint* p, size_t n) : p_(p), n_(n) {
        // Each chain holds at most the points it was made of.
        Level base;
        base.vertices.reserve(2 * n);
        for (size_t a = 0; a < n; a += kBlock) {
            sorted_.clear();
            for (size_t i = a; i < std::min(n, a + kBlock); ++i)
                sorted_.push_back(pack(p[i]));
            sortRuns();
            appendChain(base, false);
            appendChain(base, true);
        }
        levels_.push_back(std::move(base));
        while (levels_.back().nodes() > 1) {
            Level up;
            const Level& below = levels_.back();
            up.vertices.reserve(below.vertices.size());
            for (size_t k = 0; k < below.nodes(); k += kFan) {
                for (int chain = 0; chain < 2; ++chain) {
                    mergeChildren(below, k, std::min(below.nodes(), k + kFan), chain);
                    appendChain(up, false);
                }
            }
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
            node *= kFan;
            while (largest(level, node, c) != found.value)
                ++node;
        }
        V value;
        return scanFarthest(p_, node * kBlock, std::min(n_, (node + 1) * kBlock), c, value);
    }

  private:
    static constexpr size_t kBlock = 256;
    static constexpr size_t kFan = 4;
    static constexpr size_t kNone = std::numeric_limits<size_t>::max();

    // Hulls one after the other.
    struct Level {
        std::vector<Packed> vertices;
        // Hull k: lower chain [bounds[2k], bounds[2k+1]), upper chain [bounds[2k+1], bounds[2k+2]).
        std::vector<uint32_t> bounds{0};

        size_t nodes() const { return bounds.size() / 2; }
        const Packed* begin(size_t k, int chain) const {
            return vertices.data() + bounds[2 * k + chain];
        }
        const Packed* end(size_t k, int chain) const {
            return vertices.data() + bounds[2 * k + chain + 1];
        }
    };

    struct Found {
        V value{};
        size_t level = 0;
        size_t node = 0;
        size_t at = kNone;  // set when found by scanning part of a block
    };

    // The turn a → b → q is counter-clockwise.
    static bool leftTurn(Packed a, Packed b, Packed q) {
        return cross<V>(packedLng(b) - packedLng(a), packedLat(q) - packedLat(a),
                        packedLat(b) - packedLat(a), packedLng(q) - packedLng(a)) > V{};
    }

    // Merges the runs [a, aEnd) and [b, bEnd), ascending or both descending, into out, without
    // branches on the order: the runs of a track that circles interleave. Answers the end.
    static Packed* mergeRuns(const Packed* a, const Packed* aEnd, const Packed* b,
                             const Packed* bEnd, Packed* out, bool descending = false) {
        while (a != aEnd && b != bEnd) {
            bool takeB = descending ? *a < *b : *b < *a;
            *out++ = takeB ? *b : *a;
            a += !takeB;
            b += takeB;
        }
        out = std::copy(a, aEnd, out);
        return std::copy(b, bEnd, out);
    }

    // The same chain of the hulls [k, last) of `below` (at most four), merged in its order into
    // sorted_, pairs first: every vertex of a union's chain is a vertex of the same chain of one
    // of its parts.
    void mergeChildren(const Level& below, size_t k, size_t last, int chain) {
        bool descending = chain == 1;
        auto pair = [&](size_t child, Packed* out) {
            if (child + 1 >= last)
                return std::copy(below.begin(child, chain), below.end(child, chain), out);
            return mergeRuns(below.begin(child, chain), below.end(child, chain),
                             below.begin(child + 1, chain), below.end(child + 1, chain), out,
                             descending);
        };
        size_t size = 0;
        for (size_t child = k; child < last; ++child)
            size += static_cast<size_t>(below.end(child, chain) - below.begin(child, chain));
        sorted_.resize(size);
        merged_.resize(std::max(merged_.size(), size));
        if (last - k <= 2) {
            pair(k, sorted_.data());
            return;
        }
        Packed* middle = pair(k, merged_.data());
        Packed* end = pair(k + 2, middle);
        mergeRuns(merged_.data(), middle, middle, end, sorted_.data(), descending);
    }

    // Puts sorted_ in ascending order by merging neighbouring runs, descending ones turned round
    // first.
    void sortRuns() {
        std::vector<Packed>& v = sorted_;
        starts_.clear();
        for (size_t i = 0; i < v.size();) {
            starts_.push_back(i);
            size_t j = i + 1;
            while (j < v.size() && v[j - 1] <= v[j])
                ++j;
            if (j == i + 1) {  // a falling run, or a run of one at the end
                while (j < v.size() && v[j] <= v[j - 1])
                    ++j;
                std::reverse(v.data() + i, v.data() + j);
            }
            i = j;
        }
        starts_.push_back(v.size());
        while (starts_.size() > 2) {
            merged_.resize(v.size());
            size_t kept = 0;
            for (size_t k = 0; k + 1 < starts_.size(); k += 2) {
                size_t end = starts_[std::min(k + 2, starts_.size() - 1)];
                mergeRuns(v.data() + starts_[k], v.data() + starts_[k + 1],
                          v.data() + starts_[k + 1], v.data() + end, merged_.data() + starts_[k]);
                starts_[kept++] = starts_[k];
            }
            starts_[kept++] = v.size();
            starts_.resize(kept);
            std::swap(v, merged_);
        }
    }

    // Andrew's monotone chain over sorted_, forwards or backwards; the chain becomes the next of
    // `level`.
    void appendChain(Level& level, bool backwards) {
        size_t n = sorted_.size();
        chain_.resize(std::max(chain_.size(), n));
        Packed* first = chain_.data();
        Packed* top = first;
        for (size_t i = 0; i < n; ++i) {
            Packed q = sorted_[backwards ? n - 1 - i : i];
            while (top - first >= 2 && !leftTurn(top[-2], top[-1], q))
                --top;
            *top++ = q;
        }
        level.vertices.insert(level.vertices.end(), first, top);
        level.bounds.push_back(static_cast<uint32_t>(level.vertices.size()));
    }

    // The largest d (or −d) on a chain along which it rises to one peak and then falls.
    V peak(const Packed* chain, size_t count, const Chord& c, bool negate) const {
        auto value = [&](size_t i) {
            V d = c.area<V>(unpack(chain[i]));
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
        const Packed* lower = l.begin(node, 0);
        size_t lowerCount = static_cast<size_t>(l.end(node, 0) - lower);
        const Packed* upper = l.begin(node, 1);
        size_t upperCount = static_cast<size_t>(l.end(node, 1) - upper);
        bool lowerForMax = c.ex > 0 || (c.ex == 0 && c.ey < 0);
        V high =
            lowerForMax ? peak(lower, lowerCount, c, false) : peak(upper, upperCount, c, false);
        V low = lowerForMax ? peak(upper, upperCount, c, true) : peak(lower, lowerCount, c, true);
        return std::max(high, low);
    }

    // The first point of a node; of the next node, the end of this one's.
    size_t nodeStart(size_t level, size_t node) const {
        size_t blocks = node;
        for (size_t k = 0; k < level; ++k)
            blocks *= kFan;
        return std::min(n_, blocks * kBlock);
    }

    // Visits the nodes that tile [from, to) in order, keeping the first with the largest |d|.
    void visit(size_t level, size_t node, size_t from, size_t to, const Chord& c,
               Found& found) const {
        size_t a = nodeStart(level, node);
        size_t b = nodeStart(level, node + 1);
        if (b <= from || a >= to) return;
        if (from <= a && b <= to) {
            V value = largest(level, node, c);
            if (value > found.value) found = {value, level, node, kNone};
        } else if (level == 0) {
            V value;
            size_t at = scanFarthest(p_, std::max(a, from), std::min(b, to), c, value);
            if (value > found.value) found = {value, 0, node, at};
        } else {
            for (size_t child = node * kFan; child < (node + 1) * kFan; ++child)
                visit(level - 1, child, from, to, c, found);
        }
    }

    const TrackPoint* p_;
    size_t n_;
    std::vector<Level> levels_;
    // Work space of the building.
    std::vector<Packed> sorted_;
    std::vector<Packed> merged_;
    std::vector<Packed> chain_;
    std::vector<size_t> starts_;
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

constexpr size_t kMaxKept = kMaxPrintPoints - 2;  // besides the first and the last point

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

    std::vector<size_t> chosen{0, points.size() - 1};
    for (const Range& r : kept)
        if (r.threshold >= tolerance) chosen.push_back(r.split);
    std::sort(chosen.begin(), chosen.end());
    std::vector<TrackPoint> print;
    print.reserve(chosen.size());
    for (size_t i : chosen)
        print.push_back(points[i]);
    return print;
}

}  // namespace

std::vector<TrackPoint> simplifyTrack(const std::vector<TrackPoint>& points,
                                      const FarthestSearch& search) {
    if (points.size() <= kMaxPrintPoints) return points;
    // Coordinates within 2^31 − 1 of each other keep every product in 64 bits.
    return fitsIn64Bits(points) ? thin<int64_t>(points, search) : thin<Wide>(points, search);
}
