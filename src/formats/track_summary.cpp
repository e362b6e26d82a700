#include "formats/track_summary.h"

#include <cstdio>

#include "formats/track_conversion.h"

namespace {

std::string position(const TrackPoint& p) {
    auto degrees = [](int32_t units, char positive, char negative) {
        int64_t v = units;
        char hemisphere = v < 0 ? negative : positive;
        if (v < 0) v = -v;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%lld.%05lld %c", static_cast<long long>(v / 100000),
                      static_cast<long long>(v % 100000), hemisphere);
        return std::string(buf);
    };
    return degrees(p.lat, 'N', 'S') + ", " + degrees(p.lng, 'E', 'W');
}

std::string localTime(int64_t unixMs) {
    TrackDateTime t = trackDateTimeAt(unixMs);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.year},
                  unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second});
    return buf;
}

std::string span(int64_t ms) {
    int64_t s = ms / 1000;
    char buf[48];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld h %02lld min %02lld s",
                      static_cast<long long>(s / 3600), static_cast<long long>(s / 60 % 60),
                      static_cast<long long>(s % 60));
    else
        std::snprintf(buf, sizeof buf, "%lld min %02lld s", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    return buf;
}

}  // namespace

TrackSummary summarizeTrack(const std::vector<RecordedSegment>& track, const std::string& name) {
    TrackSummary summary;
    summary.name = name;
    const TrackPoint* previous = nullptr;
    for (const RecordedSegment& segment : track) {
        if (segment.points.empty()) continue;
        ++summary.segments;
        std::optional<int64_t> start = trackTimeMs(segment.start);
        for (const RecordedPoint& p : segment.points) {
            if (previous)
                summary.lengthMetres +=
                    greatCircleDistance(previous->lng * 1e-5, previous->lat * 1e-5,
                                        p.point.lng * 1e-5, p.point.lat * 1e-5);
            previous = &p.point;
            if (start) {
                int64_t at = *start + p.offsetMs;
                if (!summary.firstTimeMs) summary.firstTimeMs = at;
                summary.lastTimeMs = at;
            }
        }
        summary.points += segment.points.size();
        if (!summary.start) summary.start = segment.points.front().point;
        summary.end = segment.points.back().point;
    }
    return summary;
}

std::string formatTrackSummary(const TrackSummary& summary) {
    char buf[96];
    std::string out = "name: " + summary.name + "\n";
    std::snprintf(buf, sizeof buf, "points: %zu in %zu segment%s\n", summary.points,
                  summary.segments, summary.segments == 1 ? "" : "s");
    out += buf;
    std::snprintf(buf, sizeof buf, "length: %.3f km\n", summary.lengthMetres / 1000);
    out += buf;
    out += "start: " + (summary.start ? position(*summary.start) : std::string("-")) + "\n";
    out += "end: " + (summary.end ? position(*summary.end) : std::string("-")) + "\n";
    if (summary.firstTimeMs && summary.lastTimeMs)
        out += "time: " + localTime(*summary.firstTimeMs) + " to " +
               localTime(*summary.lastTimeMs) + " (" +
               span(*summary.lastTimeMs - *summary.firstTimeMs) + ")\n";
    else
        out += "time: -\n";
    return out;
}
