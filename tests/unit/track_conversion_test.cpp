#include "formats/track_conversion.h"

#include <gtest/gtest.h>

#include "formats/track_file.h"
#include "platform/codepage.h"
#include "support/route_fixtures.h"
#include "support/temp_dir.h"

namespace {

using Points = std::vector<TrackPoint>;

TEST(TrackConversion, GreatCircleDistance) {
    EXPECT_NEAR(greatCircleDistance(116, 39, 116, 40), 111194.94, 0.005);
    EXPECT_NEAR(greatCircleDistance(116, 39, 117, 39), 86414.26, 0.005);
    EXPECT_EQ(greatCircleDistance(116, 39, 116, 39), 0.0);
    EXPECT_NEAR(greatCircleDistance(0, 0, 180, 0), 20015088.95, 0.01);  // nearly opposite
}

struct TrackConversionTest : ::testing::Test {
    TempDir dir;
    std::string track = dir.file("t.trk");
    std::string route = dir.file("t.rut");
};

TEST_F(TrackConversionTest, MeasureTakesTheLengthAndTheMiddlePoint) {
    const TrackPoint a{11600000, 3900000, 1}, b{11600000, 4000000, 1}, c{11700000, 4000000, 2},
        d{11700000, 3900000, 2};
    const TrackPoint untouched{1, 2, 3};
    struct Case {
        const char* what;
        std::string bytes;
        int metres;
        TrackPoint position;
    } cases[] = {
        {"one point", trackFileBytes(259, {{1, {a}}}), 0, a},
        {"one degree north", trackFileBytes(259, {{1, {a, b}}}), 111194, b},
        {"three points: index 1", trackFileBytes(259, {{1, {a, b}}, {2, {c}}}), 196374, b},
        {"four points: index 2", trackFileBytes(259, {{1, {a, b}}, {2, {c, d}}}), 307569, c},
        {"no points", trackFileBytes(259, {}), 0, untouched},
        {"not a track", "SMG_RUT", 0, untouched},
    };
    for (const auto& c : cases) {
        writeFileBytes(track, c.bytes);
        RouteBookData data;
        TrackPoint position = untouched;
        EXPECT_EQ(measureTrack(data, track, position), c.metres) << c.what;
        EXPECT_EQ(position, c.position) << c.what;
    }
}

std::string expectedRouteFile(uint32_t version, int32_t lastUpDate, std::u16string title,
                              int32_t mileage, TrackPoint at) {
    RouteFixture f;
    f.version = version;
    f.lastUpDate = lastUpDate;
    f.author = u"佚名";
    f.startCity = u"StartPos";
    f.endCity = u"EndPos";
    f.headerText = u"北京Korvel软件技术有限公司";
    RecordFixture book{.title = title, .kind = 0, .mileage = mileage, .lng = at.lng, .lat = at.lat};
    book.content = u"尊敬的用户，您好。这条轨迹不是完整的路书，请您选择适当工具编辑成路书。";
    RecordFixture line = book;
    line.kind = 2;
    line.content.clear();
    f.records = {book, line};
    return routeFileBytes(f);
}

TEST_F(TrackConversionTest, WritesABookAndALineRecordForTheTrack) {
    Points points = {{11600000, 3900000, 0}, {11600000, 4000000, 0}};
    writeFileBytes(track, trackFileBytes(256, {{0, points}}));
    RouteBookData data;
    EXPECT_EQ(convertTrackToRouteBook(data, route, "Day1", &track), 1);
    std::string bytes = readFileBytes(route);
    EXPECT_EQ(bytes, expectedRouteFile(259, 20090321, u"Day1", 111194, points[1]));
    // Two records behind an 8-byte zero index, after the 16-unit header text.
    EXPECT_EQ(bytes.substr(132, 4), LeBytes().i32(16).str());
    EXPECT_EQ(bytes.substr(168, 12), LeBytes().i32(2).i32(0).i32(0).str());
    EXPECT_EQ(data.records.size(), 2u);
    EXPECT_EQ(data.points, points);  // left in the object
    EXPECT_EQ(data.records[0]->contentLength, 35);
}

TEST_F(TrackConversionTest, MileageAndPositionWithoutAUsableTrack) {
    RouteBookData data;
    EXPECT_EQ(convertTrackToRouteBook(data, route, "Day1", nullptr), 1);
    EXPECT_EQ(readFileBytes(route),
              expectedRouteFile(259, 20090321, u"Day1", 100, {11600000, 3900000, 0}));
    std::string missing = dir.file("missing.trk");
    EXPECT_EQ(convertTrackToRouteBook(data, route, "Day1", &missing), 1);
    EXPECT_EQ(readFileBytes(route),
              expectedRouteFile(259, 20090321, u"Day1", 0, {11600000, 3900000, 0}));
    // The result does not report a file that cannot be written.
    EXPECT_EQ(convertTrackToRouteBook(data, dir.file("no/folder.rut"), "Day1", nullptr), 1);
}

TEST_F(TrackConversionTest, TitlesKeep19UnitsAndTheHeaderItsLastRouteFile) {
    RouteFixture viewed;
    viewed.version = 258;
    viewed.lastUpDate = 20120101;
    viewed.author = u"Someone with a long name";
    writeFileBytes(route, routeFileBytes(viewed));
    RouteBookData data;
    ASSERT_EQ(data.readRouteFile(route), 1);

    std::string name = platform::utf8ToAnsi("北京一日游ABCDEFGHIJKLMNOPQRST");  // 25 characters
    std::string out = dir.file("out.rut");
    convertTrackToRouteBook(data, out, name, nullptr);
    EXPECT_EQ(readFileBytes(out), expectedRouteFile(258, 20120101, u"北京一日游ABCDEFGHIJKLMN", 100,
                                                    {11600000, 3900000, 0}));
}

}  // namespace
