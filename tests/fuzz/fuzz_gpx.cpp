// GPX files as the terminal imports them: read in pieces of any size, every place and point the
// reader hands over is one GPX can hold, and what it accepts makes a route book whose track
// file reads back with every kept point.
#include <cstdlib>
#include <string>

#include "formats/gpx.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// The builder, checking each point on its way in.
class CheckingBuilder : public GpxRouteBookBuilder {
  public:
    CheckingBuilder() : GpxRouteBookBuilder("F") {}
    void waypoint(GpxPlace place) override {
        check(gpxCanHold(place.lng, place.lat));
        GpxRouteBookBuilder::waypoint(std::move(place));
    }
    void trackPoint(const GpxPoint& point, uint64_t line) override {
        check(gpxCanHold(point.lng, point.lat) && line > 0);
        GpxRouteBookBuilder::trackPoint(point, line);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    // The first byte picks the size of the pieces the file arrives in.
    const size_t piece = 1 + data[0] % 64;
    CheckingBuilder builder;
    GpxReader reader(builder);
    bool ok = true;
    for (size_t at = 0; ok && at < text.size(); at += piece)
        ok = reader.feed(std::string_view(text).substr(at, piece));
    if (!ok || !reader.finish()) {
        check(!reader.error().empty());
        return 0;
    }
    check(reader.invalidText().first.size() <= GpxLoss::kShown);
    if (std::optional<GpxImport> imported = builder.finish()) {
        size_t steps = 0;
        for (const TrackSegment& segment : imported->segments)
            steps += segment.steps.size();
        check(steps == imported->points && imported->points > 0);
        check(imported->route.header.recordCount ==
              static_cast<int32_t>(imported->route.records.size()));
    }
    return 0;
}
