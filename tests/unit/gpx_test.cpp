#include "formats/gpx.h"

#include <gtest/gtest.h>

#include "formats/text_encoding.h"
#include "platform/codepage.h"
#include "support/temp_dir.h"

namespace {

constexpr int64_t kMay1 = 1241136000000;  // 2009-05-01T00:00:00Z

GpxPoint at(int32_t lng, int32_t lat, std::optional<int64_t> time = std::nullopt) {
    return {lng, lat, time};
}

// What the navigator gets back from a GPX track: written as a track file, read as recorded.
std::vector<GpxPoint> throughTrackFile(const std::vector<GpxPoint>& points, size_t& segments,
                                       size_t& dropped) {
    GpxDocument gpx;
    gpx.tracks.push_back({"t", 3, {points}});
    std::optional<GpxImport> imported = gpxToRouteBook(gpx, "t");
    if (!imported) return {};
    segments = imported->segments.size();
    dropped = imported->dropped.count;
    TempDir dir;
    std::string path = dir.file("t.trk");
    EXPECT_EQ(writeTrackFile(path, kLongTrackVersion, imported->segments), 1);
    auto track = readRecordedTrack(path);
    EXPECT_TRUE(track.has_value());
    GpxDocument back = routeBookToGpx(imported->route, *track, "t");
    std::vector<GpxPoint> out;
    for (const GpxTrack& t : back.tracks) {
        EXPECT_EQ(t.number, 3);
        for (const auto& s : t.segments)
            out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

bool samePoints(const std::vector<GpxPoint>& a, const std::vector<GpxPoint>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].lng != b[i].lng || a[i].lat != b[i].lat || a[i].timeMs != b[i].timeMs)
            return false;
    return true;
}

TEST(GpxTrackTest, EveryPointAndTimeSurvivesTheTrackFile) {
    const int64_t t0 = kMay1 + 8 * 3600000 + 250;  // 08:30:00.250, a time between seconds
    struct Case {
        const char* what;
        std::vector<GpxPoint> points;
        size_t segments;
    } cases[] = {
        {"one second apart",
         {at(11639000, 3990000, t0), at(11639010, 3990005, t0 + 1000),
          at(11639030, 3990001, t0 + 2000)},
         1},
        {"a step too long for 16 bits",
         {at(11639000, 3990000, t0), at(11679000, 3990000, t0 + 1000)},
         2},
        {"a longitude step of exactly 32767",
         {at(11639000, 3990000, t0), at(11671767, 3990000, t0 + 1000)},
         1},
        {"a pause longer than 65.535 s",
         {at(11639000, 3990000, t0), at(11639010, 3990000, t0 + 65535),
          at(11639020, 3990000, t0 + 65535 + 65536)},
         2},
        {"time going back", {at(11639000, 3990000, t0), at(11639010, 3990000, t0 - 5000)}, 2},
        {"times stop", {at(11639000, 3990000, t0), at(11639010, 3990000)}, 2},
        {"no times", {at(11639000, 3990000), at(11639010, 3990000), at(11639020, 3990000)}, 1},
        {"a time before the navigator's dates", {at(11639000, 3990000, 1000)}, 1},
    };
    for (const Case& c : cases) {
        size_t segments = 0, dropped = 0;
        std::vector<GpxPoint> expected = c.points;
        for (GpxPoint& p : expected)
            if (p.timeMs && *p.timeMs < kMay1 - 86400000LL * 365 * 29) p.timeMs.reset();
        EXPECT_TRUE(samePoints(throughTrackFile(c.points, segments, dropped), expected)) << c.what;
        EXPECT_EQ(segments, c.segments) << c.what;
        EXPECT_EQ(dropped, 0u) << c.what;
    }
}

TEST(GpxTrackTest, PointsTheNavigatorDropsAreLeftOutAndCounted) {
    size_t segments = 0, dropped = 0;
    std::vector<GpxPoint> points = {at(-7400000, 4070000), at(11639000, 3990000), at(11639000, 1),
                                    at(100, 3990000), at(11639010, 3990010)};
    EXPECT_TRUE(samePoints(throughTrackFile(points, segments, dropped),
                           {at(11639000, 3990000), at(11639010, 3990010)}));
    EXPECT_EQ(dropped, 3u);

    GpxDocument west;
    west.tracks.push_back({"w", std::nullopt, {{at(-7400000, 4070000)}}});
    EXPECT_FALSE(gpxToRouteBook(west, "w").has_value());
}

TEST(GpxTrackTest, ADroppedPointStillTakesItsTime) {
    TempDir dir;
    std::string path = dir.file("d.trk");
    TrackSegment segment;
    segment.lng = 50;  // the first point lies where the navigator had no fix
    segment.lat = 3990000;
    segment.start = {2009, 5, 1, 8, 30, 0};
    segment.lineId = 4;
    segment.steps = {{0, 0, 0}, {20000, 0, 1500}, {10, 10, 1000}};
    ASSERT_EQ(writeTrackFile(path, kLongTrackVersion, {segment}), 1);
    auto track = readRecordedTrack(path);
    ASSERT_TRUE(track.has_value());
    ASSERT_EQ(track->size(), 1u);
    const RecordedSegment& s = track->front();
    EXPECT_EQ(s.lineId, 4);
    ASSERT_EQ(s.points.size(), 2u);
    EXPECT_EQ(s.points[0].offsetMs, 1500);
    EXPECT_EQ(s.points[1].offsetMs, 2500);
    EXPECT_EQ(s.points[1].point, (TrackPoint{20060, 3990010, 4}));
}

TEST(GpxTextTest, TimesAreWrittenAndReadAsUtc) {
    struct Case {
        int64_t ms;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {kMay1 + 8 * 3600000 + 30 * 60000 + 250, "2009-05-01T08:30:00.250Z"},
        {951782400000 + 86399000, "2000-02-29T23:59:59Z"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatUtcTime(c.ms), c.text);
        std::string text = std::string("<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"1\"><time>") +
                           c.text + "</time></trkpt></trkseg></trk></gpx>";
        GpxDocument doc;
        std::string error;
        ASSERT_TRUE(readGpx(text, doc, error)) << error;
        EXPECT_EQ(doc.tracks[0].segments[0][0].timeMs, c.ms) << c.text;
    }
    // Another tool's zone offset, and a time this program cannot read (the point stays).
    GpxDocument doc;
    std::string error;
    ASSERT_TRUE(
        readGpx("<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"1\"><time>2009-05-01T16:30:00+08:00"
                "</time></trkpt><trkpt lat=\"1\" lon=\"1\"><time>yesterday</time></trkpt>"
                "</trkseg></trk></gpx>",
                doc, error));
    EXPECT_EQ(doc.tracks[0].segments[0][0].timeMs, kMay1 + 8 * 3600000 + 30 * 60000);
    EXPECT_FALSE(doc.tracks[0].segments[0][1].timeMs.has_value());
}

TEST(GpxTextTest, RefusesWhatIsNotGpx) {
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"", "not well-formed"},
        {"<gpx><trk>", "not well-formed"},
        {"<kml></kml>", "not a GPX document"},
        {"<gpx><wpt lon=\"116\"/></gpx>", "<wpt> at line 1"},
        {"<gpx><trk><trkseg><trkpt lat=\"91\" lon=\"116\"/></trkseg></trk></gpx>", "<trkpt>"},
        {"<gpx><trk><trkseg><trkpt lat=\"39.9\" lon=\"116,4\"/></trkseg></trk></gpx>", "<trkpt>"},
        {"<gpx><rte><rtept lat=\"nan\" lon=\"1\"/></rte></gpx>", "<rtept>"},
        {"<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"180\"/></trkseg></trk></gpx>", "<trkpt>"},
        {"<gpx><wpt lat=\"1\" lon=\"179.999996\"/></gpx>", "<wpt>"},
        {"<?xml version=\"1.0\" encoding=\"GB18030\"?><gpx/>", "encoding GB18030 is not"},
        {"<!DOCTYPE g [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">"
         "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;\">"
         "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;\"><!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;\">]>"
         "<gpx><name>&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;</name></gpx>",
         "amplification"},
    };
    for (const Case& c : cases) {
        GpxDocument doc;
        std::string error;
        EXPECT_FALSE(readGpx(c.text, doc, error)) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
    }
}

TEST(GpxTextTest, ADocumentReadsBackAsWritten) {
    std::string ansi = platform::utf8ToAnsi("长城 & <east> \"gate\"");
    GpxDocument doc;
    doc.name = ansi;
    doc.description = "line one\nline two\x01";
    doc.author = platform::utf8ToAnsi("王");
    doc.waypoints = {{11639200, 3990100, "Gate & garden <east>", "The main gate"},
                     {-12345, -1, "South-west", ""}};
    doc.routeName = "Legs";
    doc.routePoints = {{11640000, 3991000, "Leg 1", "North"}};
    doc.tracks = {{"T", 2, {{at(11639000, 3990000, kMay1), at(11639001, 3990001)}, {}}},
                  {"", std::nullopt, {{at(17999999, 9000000)}}}};
    std::string text = writeGpx(doc, "vantu test");
    EXPECT_NE(text.find("<name>Gate &amp; garden &lt;east&gt;</name>"), std::string::npos);
    EXPECT_NE(text.find("lat=\"-0.00001\" lon=\"-0.12345\""), std::string::npos);

    GpxDocument back;
    std::string error;
    ASSERT_TRUE(readGpx(text, back, error)) << error;
    EXPECT_EQ(back.name, ansi);
    // Line breaks survive; XML cannot hold the control character.
    EXPECT_EQ(back.description, "line one\nline two");
    EXPECT_EQ(back.author, doc.author);
    ASSERT_EQ(back.waypoints.size(), 2u);
    EXPECT_EQ(back.waypoints[0].name, doc.waypoints[0].name);
    EXPECT_EQ(back.waypoints[1].lng, -12345);
    EXPECT_EQ(back.waypoints[1].lat, -1);
    EXPECT_EQ(back.routeName, "Legs");
    ASSERT_EQ(back.routePoints.size(), 1u);
    EXPECT_EQ(back.routePoints[0].description, "North");
    ASSERT_EQ(back.tracks.size(), 2u);
    EXPECT_EQ(back.tracks[0].number, 2);
    EXPECT_TRUE(samePoints(back.tracks[0].segments[0], doc.tracks[0].segments[0]));
    EXPECT_TRUE(samePoints(back.tracks[1].segments[0], doc.tracks[1].segments[0]));
}

TEST(GpxRouteBookTest, PlacesAndLegsBecomeRecords) {
    GpxDocument gpx;
    gpx.description = "Around the lake";
    gpx.author = "Zhao";
    gpx.waypoints = {{12015000, 3025000, "A place with a name longer than twenty", "open"}};
    gpx.tracks = {{"t",
                   std::nullopt,
                   {{at(12015000, 3025000), at(12015000, 3026000), at(12015000, 3027000)}}}};
    auto title = [](const RouteRecord& r) { return fieldToAnsi(r.title.data(), r.title.size()); };

    std::optional<GpxImport> bare = gpxToRouteBook(gpx, "Lake");
    ASSERT_TRUE(bare.has_value());
    const auto& records = bare->route.records;
    ASSERT_EQ(records.size(), 3u);  // Book, the place, one leg for the whole track
    EXPECT_EQ(records[0]->kind, RecordKind::Book);
    EXPECT_EQ(title(*records[0]), "Lake");
    EXPECT_EQ(records[0]->mileage, 2223);  // two steps of 0.01 degree of latitude
    EXPECT_EQ(records[0]->lat, 3026000);   // the middle point
    EXPECT_EQ(records[0]->content, u"Around the lake");
    EXPECT_EQ(records[1]->kind, RecordKind::Poi);
    EXPECT_EQ(title(*records[1]), "A place with a name ");  // the field's 20 units
    EXPECT_EQ(records[2]->kind, RecordKind::Line);
    EXPECT_EQ(bare->route.header.recordCount, 3);

    gpx.routePoints = {{12015000, 3025000, "Leg 1", ""}, {12015000, 3027000, "Leg 2", "back"}};
    std::optional<GpxImport> routed = gpxToRouteBook(gpx, "Lake");
    ASSERT_TRUE(routed.has_value());
    ASSERT_EQ(routed->route.records.size(), 4u);
    EXPECT_EQ(title(*routed->route.records[3]), "Leg 2");
    EXPECT_EQ(routed->route.records[3]->content, u"back");
}

}  // namespace
