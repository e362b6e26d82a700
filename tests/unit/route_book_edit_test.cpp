#include "tasks/route_book_edit.h"

#include <gtest/gtest.h>

#include "support/file_tree.h"
#include "support/route_fixtures.h"
#include "support/temp_dir.h"

namespace {

using namespace std::string_literals;

// A track whose every field the navigator's reader passes over holds something: markers other
// than 1, reserved header numbers, an origin away from the first point, the records' unused
// bytes and fifth sums, a segment without points, points it does not show, bytes after the end.
std::string oddTrack(uint32_t version) {
    const bool longLayout = version > 256;
    LeBytes b;
    b.field(u"SMG_TRACK", 10).u32(version);
    auto segment = [&](int32_t marker, int32_t lng, int32_t lat, int32_t count) {
        b.i32(marker).i32(lng).i32(lat).i32(-5);
        for (uint16_t f : {2009, 5, 1, 8, 30, 15})
            b.u16(f);
        b.i32(42);
        if (longLayout) b.i32(3).i32(99);
        b.i32(count);
    };
    auto point = [&](int16_t dLng, int16_t dLat, uint16_t unused, uint16_t ms, int16_t fifth) {
        b.i16(dLng).i16(dLat).u16(unused).u16(ms);
        if (longLayout) b.i16(fifth);
    };
    segment(7, 11639000, 3990000, 3);
    point(10, -20, 0xBEEF, 0, -3);
    point(-32768, 32767, 0, 65535, 4);
    point(0, 0, 0, 1000, 0);
    segment(1, 123, 456, 0);
    segment(-1, 0, 0, 2);
    point(5, 1, 0, 0, 0);
    point(100, 100, 0, 1000, 0);
    b.i32(0);
    return b.str() + "after the end";
}

// Each record's offset in the file routeFileBytes writes.
std::vector<int32_t> offsetsOf(const RouteFixture& r) {
    std::vector<int32_t> offsets;
    int32_t at = static_cast<int32_t>(140 + 2 * r.headerText.size() + 4 * r.records.size());
    for (const RecordFixture& record : r.records) {
        offsets.push_back(at);
        at += static_cast<int32_t>(70 + 2 * record.content.size() + 2 * record.img.size());
    }
    return offsets;
}

// Texts with what follows their NUL, a title of half a character and one of 20 units, a kind the
// program does not know, a marker with units after its NUL.
RouteFixture oddRoute() {
    RouteFixture r;
    r.magic = u"SMG_RUT\0ZZ"s;
    r.author = u"Li\0junk"s;
    r.startCity = u"北京";
    r.headerText = u"head\0tail\0"s;
    r.records = {
        {.title = std::u16string{u'G', 0xD800, u'e'},
         .kind = 7,
         .lng = -11639000,
         .lat = 3990000,
         .content = u"x\0"s,
         .img = u"\0p"s},
        {.title = u"A title of twenty un", .kind = 2, .mileage = -1, .content = u"长城\r\n"},
    };
    return r;
}

TEST(RouteBookEditTest, ASetComesBackFromItsDocumentByteForByte) {
    RouteFixture offsets = oddRoute();
    offsets.recordIndex = offsetsOf(offsets);
    RouteFixture kept = oddRoute();
    kept.recordIndex = std::vector<int32_t>{17, -18};
    RouteFixture plain;
    plain.records = {{.title = u"Trip"}, {.title = u"Gate", .kind = 1}};
    const std::string cut = routeFileBytes(plain);
    RouteFixture firstOnly = plain;
    firstOnly.records.resize(1);
    struct Case {
        const char* label;
        FileTree set;
        std::string name;
        size_t inexact;
        FileTree expected;
    } cases[] = {
        {"every field, an index of offsets, bytes after the route",
         {{"A.trk", oddTrack(257)},
          {"A.sim", "sim"},
          {"A", "<dir>"},
          {"A/A.rut", routeFileBytes(offsets) + "tail"},
          {"A/A.tps", "tps"},
          {"A/pic.jpg", std::string("\0\xff", 2)}},
         "A",
         0,
         {}},
        {"the short layout, an index of other values, under another name",
         {{"A.trk", oddTrack(256)},
          {"A", "<dir>"},
          {"A/A.rut", routeFileBytes(kept)},
          {"A/a.TPS", "tps"},
          {"A/.hidden", "h"},
          {"A/deeper", "<dir>"},
          {"A/deeper/x", "x"}},
         "B",
         0,
         {{"B.trk", oddTrack(256)},
          {"B", "<dir>"},
          {"B/B.rut", routeFileBytes(kept)},
          {"B/B.TPS", "tps"}}},
        {"a recorded track",
         {{"A.trk", trackFileBytes(256, {{0, {{11639000, 3990000, 0}}}})}},
         "A",
         0,
         {}},
        {"a route file cut inside its second record",
         {{"A.trk", oddTrack(257)}, {"A", "<dir>"}, {"A/A.rut", cut.substr(0, cut.size() - 3)}},
         "A",
         1,
         {{"A.trk", oddTrack(257)}, {"A", "<dir>"}, {"A/A.rut", routeFileBytes(firstOnly)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir in, out;
        writeTree(in.path(), c.set);
        SetDocument set = readRouteBookSet(in.path(), "A");
        ASSERT_TRUE(set.document) << set.refusal;
        EXPECT_EQ(set.inexact.size(), c.inexact);
        EditReading reading = readEditDocument(writeEditDocument(*set.document));
        ASSERT_TRUE(reading.document) << reading.refusal;
        ASSERT_EQ(writeRouteBookSet(*reading.document, out.path(), c.name), "");
        EXPECT_EQ(treeOf(out.path()), c.expected.empty() ? c.set : c.expected);
    }
}

}  // namespace
