#include "support/route_fixtures.h"

LeBytes& LeBytes::u16(uint16_t v) {
    bytes_.push_back(static_cast<char>(v & 0xFF));
    bytes_.push_back(static_cast<char>(v >> 8));
    return *this;
}

LeBytes& LeBytes::u32(uint32_t v) {
    u16(static_cast<uint16_t>(v & 0xFFFF));
    return u16(static_cast<uint16_t>(v >> 16));
}

LeBytes& LeBytes::field(std::u16string_view text, size_t units) {
    for (size_t i = 0; i < units; ++i)
        u16(i < text.size() ? static_cast<uint16_t>(text[i]) : 0);
    return *this;
}

LeBytes& LeBytes::text(std::u16string_view text) {
    return field(text, text.size());
}

LeBytes& LeBytes::raw(std::string_view bytes) {
    bytes_.append(bytes);
    return *this;
}

std::string recordBytes(const RecordFixture& r) {
    LeBytes b;
    b.field(r.title, 20).i16(r.kind).i32(r.mileage).i32(r.param1).i32(r.param2);
    b.i32(r.lng).i32(r.lat);
    b.i32(r.contentLength.value_or(static_cast<int32_t>(r.content.size()))).text(r.content);
    b.i32(r.imgLength.value_or(static_cast<int32_t>(r.img.size()))).text(r.img);
    return b.str();
}

std::string routeFileBytes(const RouteFixture& route) {
    LeBytes b;
    b.field(route.magic, 10).u32(route.version).field(route.author, 32).i32(route.lastUpDate);
    b.field(route.startCity, 10).field(route.endCity, 10);
    b.i32(static_cast<int32_t>(route.headerText.size())).text(route.headerText);
    b.i32(route.recordCount.value_or(static_cast<int32_t>(route.records.size())));
    for (int32_t entry : route.recordIndex.value_or(std::vector<int32_t>(route.records.size())))
        b.i32(entry);
    for (const auto& r : route.records)
        b.raw(recordBytes(r));
    return b.str();
}

namespace {

bool fitsOneStep(const TrackPoint& from, const TrackPoint& to) {
    auto fits = [](int64_t d) { return d >= -32768 && d <= 32767; };
    return fits(int64_t{to.lng} - from.lng) && fits(int64_t{to.lat} - from.lat);
}

}  // namespace

std::string trackFileBytes(uint32_t version, const std::vector<TrackFixtureSegment>& segments) {
    bool longLayout = version > 256;
    LeBytes b;
    b.field(u"SMG_TRACK", 10).u32(version);
    for (const auto& s : segments) {
        // Runs of points that one step each can reach; a farther point starts a new segment.
        size_t first = 0;
        do {
            size_t end = first + 1;
            while (end < s.points.size() && fitsOneStep(s.points[end - 1], s.points[end]))
                ++end;
            if (s.points.empty()) end = 0;
            TrackPoint start = s.points.empty() ? TrackPoint{} : s.points[first];
            b.i32(1).i32(start.lng).i32(start.lat).i32(0);
            for (uint16_t f : {2009, 5, 1, 8, 30, 15})
                b.u16(f);
            b.i32(0);
            if (longLayout) b.i32(s.lineId).i32(0);
            b.i32(static_cast<int32_t>(end - first));
            TrackPoint previous = start;
            for (size_t i = first; i < end; ++i) {
                const TrackPoint& p = s.points[i];
                b.i16(static_cast<int16_t>(p.lng - previous.lng));
                b.i16(static_cast<int16_t>(p.lat - previous.lat)).u16(0);
                b.u16(i == first ? 0 : 1000);
                if (longLayout) b.i16(0);
                previous = p;
            }
            first = end;
        } while (first < s.points.size());
    }
    b.i32(0);
    return b.str();
}
