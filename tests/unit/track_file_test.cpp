#include "formats/track_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "formats/sample_track.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "support/native_path.h"
#include "support/route_fixtures.h"
#include "support/temp_dir.h"

namespace {

using Points = std::vector<TrackPoint>;

struct TrackFileTest : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("t.trk");

    int read(const std::string& bytes, Points& points) {
        writeFileBytes(path, bytes);
        RouteBookData data;
        int result = readTrackFile(data, path);
        points = data.points;
        return result;
    }
};

const Points kLeg = {{11639000, 3990000, 0}, {11639010, 3990005, 0}, {11638990, 3990020, 0}};

Points withLine(Points points, int32_t lineId) {
    for (auto& p : points)
        p.lineId = lineId;
    return points;
}

TEST_F(TrackFileTest, VersionSelectsTheLayout) {
    struct Case {
        uint32_t version;
        int result;
        Points points;
    } cases[] = {
        {0, 0, {}},
        {255, 0, {}},
        {256, 1, kLeg},  // short layout: no line numbers
        {257, 1, withLine(kLeg, 7)},
        {259, 1, withLine(kLeg, 7)},
        {0x80000000, 1, withLine(kLeg, 7)},
    };
    for (const auto& c : cases) {
        // The file is written in the layout the version asks for, so reading it with the other
        // layout's record sizes would give different points.
        Points points;
        EXPECT_EQ(read(trackFileBytes(c.version, {{7, kLeg}}), points), c.result) << c.version;
        EXPECT_EQ(points, c.points) << c.version;
    }
}

TEST_F(TrackFileTest, OnlyTheExactMagicIsAccepted) {
    std::string good = trackFileBytes(257, {{1, kLeg}});
    std::string noNul = good;
    noNul[18] = 'X';  // "SMG_TRACKX": ten units without a terminator
    std::string shortMagic = LeBytes().field(u"SMG_TRAC", 10).u32(257).str() + good.substr(24);
    std::string rut = LeBytes().field(u"SMG_RUT", 10).u32(257).str() + good.substr(24);
    struct Case {
        const char* what;
        std::string bytes;
        int result;
    } cases[] = {
        {"good", good, 1},
        {"no terminator", noNul, 0},
        {"shorter text", shortMagic, 0},
        {"route magic", rut, 0},
        {"magic cut short", good.substr(0, 19), 0},
        {"version cut short", good.substr(0, 23), 0},
        {"no segment", good.substr(0, 24), 1},
    };
    for (const auto& c : cases) {
        Points points;
        EXPECT_EQ(read(c.bytes, points), c.result) << c.what;
    }
    RouteBookData data;
    EXPECT_EQ(readTrackFile(data, dir.file("missing.trk")), 0);
}

TEST_F(TrackFileTest, PointsAtOrBelowTheKeepLimitsAreDroppedButTheirChangesCount) {
    struct Case {
        const char* what;
        int32_t lng, lat;
        std::vector<std::pair<int16_t, int16_t>> steps;
        Points kept;
    } cases[] = {
        {"from the origin", 0, 0, {{60, 1}, {41, 0}, {0, 1}, {5, 5}}, {{101, 2, 0}, {106, 7, 0}}},
        {"longitude exactly 100", 50, 50, {{50, 0}, {1, 0}}, {{101, 50, 0}}},
        {"latitude exactly 1", 500, 0, {{0, 1}, {0, 1}}, {{500, 2, 0}}},
        {"negative coordinates", -11600000, 3900000, {{0, 0}, {5, 5}}, {}},
        {"back below the limit", 102, 2, {{0, 0}, {-2, 0}, {1, 0}}, {{102, 2, 0}, {101, 2, 0}}},
    };
    for (const auto& c : cases) {
        TrackSegment segment{c.lng, c.lat, {}, 0, {}};
        for (auto [dLng, dLat] : c.steps)
            segment.steps.push_back({dLng, dLat, 1000});
        Points points;
        EXPECT_EQ(read(encodeTrackFile(256, {segment}), points), 1);
        EXPECT_EQ(points, c.kept) << c.what;
    }
}

TEST_F(TrackFileTest, SegmentsAreReadInFileOrderWithTheirLineNumbers) {
    Points second = {{11700000, 4000000, 0}, {11700100, 4000100, 0}};
    Points points;
    ASSERT_EQ(read(trackFileBytes(259, {{3, kLeg}, {4, second}}), points), 1);
    Points expected = withLine(kLeg, 3);
    for (const auto& p : withLine(second, 4))
        expected.push_back(p);
    EXPECT_EQ(points, expected);
}

TEST_F(TrackFileTest, ReadingStopsQuietlyAtTheFirstIncompleteOrEndingField) {
    for (uint32_t version : {256u, 259u}) {
        std::string bytes = trackFileBytes(version, {{1, kLeg}, {2, kLeg}});
        size_t header = version == 256 ? 28 : 36;
        size_t record = version == 256 ? 8 : 10;
        size_t firstPoints = 24 + 4 + header + 4;
        size_t secondPoints = firstPoints + 3 * record + 4 + header + 4;
        // Every cut from the end of the version to the end of the file.
        for (size_t cut = 24; cut <= bytes.size(); ++cut) {
            size_t expected = 0;
            for (size_t start : {firstPoints, secondPoints})
                if (cut > start) expected += std::min<size_t>(3, (cut - start) / record);
            Points points;
            EXPECT_EQ(read(bytes.substr(0, cut), points), 1) << cut;
            EXPECT_EQ(points.size(), expected) << version << " cut at " << cut;
        }
        // A zero marker or a negative count ends the track; a count beyond the file keeps the
        // points that are there.
        std::string zeroMarker = bytes;
        zeroMarker.replace(firstPoints + 3 * record, 4, std::string(4, '\0'));
        std::string negative = bytes;
        negative.replace(secondPoints - 4, 4, LeBytes().i32(-1).str());
        std::string huge = bytes;
        huge.replace(secondPoints - 4, 4, LeBytes().i32(0x7FFFFFFF).str());
        for (const auto& [changed, count] :
             {std::pair{zeroMarker, 3u}, {negative, 3u}, {huge, 6u}}) {
            Points points;
            EXPECT_EQ(read(changed, points), 1);
            EXPECT_EQ(points.size(), count) << version;
        }
    }
}

TEST_F(TrackFileTest, RunningSumsWrapAroundLikeThe32BitOnes) {
    TrackSegment segment{0x7FFFFFF0, 500, {}, 0, {{0x20, 0, 0}, {-0x20, 0, 0}}};
    Points points;
    ASSERT_EQ(read(encodeTrackFile(256, {segment}), points), 1);
    EXPECT_EQ(points, (Points{{0x7FFFFFF0, 500, 0}}));
}

TEST_F(TrackFileTest, TheProgramsWriterMatchesTheIndependentBuilder) {
    TrackDateTime start{2009, 5, 1, 8, 30, 15};
    for (uint32_t version : {256u, 259u}) {
        auto first = segmentThrough(kLeg, 5, start, 1000);
        auto second = segmentThrough({kLeg[2], kLeg[0]}, 6, start, 1000);
        ASSERT_TRUE(first && second);
        EXPECT_EQ(encodeTrackFile(version, {*first, *second}),
                  trackFileBytes(version, {{5, kLeg}, {6, {kLeg[2], kLeg[0]}}}));
    }
    EXPECT_FALSE(segmentThrough({{0, 0, 0}, {32768, 0, 0}}, 0, start, 1000));
    EXPECT_TRUE(segmentThrough({{0, 0, 0}, {-32768, 32767, 0}}, 0, start, 1000));
}

TEST_F(TrackFileTest, SampleDrivesReadBackWholeAcrossReadBlocksAndCutShort) {
    SampleDriveOptions options;
    options.points = 20000;  // several read blocks of records
    options.pointsPerSegment = 15000;
    options.seed = 7;
    auto segments = sampleDrive(options);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[1].lineId, 2);
    EXPECT_EQ(segments[1].start.hour, 12);  // 15000 s after 08:00:00
    EXPECT_EQ(encodeTrackFile(259, sampleDrive(options)), encodeTrackFile(259, segments));

    std::string bytes = encodeTrackFile(259, segments);
    Points all;
    ASSERT_EQ(read(bytes, all), 1);
    ASSERT_EQ(all.size(), 20000u);
    EXPECT_EQ(all[14999].lineId, 1);
    EXPECT_EQ(all[15000].lineId, 2);
    // The drive moves a few metres per second and stays near its start.
    for (size_t i = 1; i < all.size(); ++i) {
        ASSERT_LE(std::abs(all[i].lng - all[i - 1].lng), 60) << i;
        ASSERT_LE(std::abs(all[i].lat - all[i - 1].lat), 60) << i;
    }
    // Cut inside the third block of the first segment's records: the whole records before it.
    size_t firstRecords = 24 + 4 + 36 + 4;
    size_t cut = firstRecords + 10 * 14000 + 7;
    Points part;
    ASSERT_EQ(read(bytes.substr(0, cut), part), 1);
    EXPECT_EQ(part, Points(all.begin(), all.begin() + 14000));
}

// Fixes "now" for the stamp.
class FixedClock : public platform::Clock {
  public:
    platform::FileTime utcNow() const override { return kNow; }
    platform::LocalTime localNow() const override { return {2011, 12, 31, 23, 59, 58}; }
    // 2011-12-31 15:59:58 UTC.
    static constexpr platform::FileTime kNow = (1325347198LL + 11644473600LL) * 10000000LL;
};

struct StampTest : TrackFileTest {
    FixedClock fixed;
    StampTest() { platform::setClock(&fixed); }
    ~StampTest() override { platform::setClock(nullptr); }

    // Read through the standard library, not the program's own file functions.
    int64_t modifiedSeconds() {
        std::error_code ec;
        auto written = std::filesystem::last_write_time(nativePath(path), ec);
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::file_clock::to_sys(written).time_since_epoch())
            .count();
    }
};

TEST_F(StampTest, FillsAnIncompleteStartDateAndSetsTheTimes) {
    std::string track = trackFileBytes(259, {{9, kLeg}});  // start 2009-05-01 08:30:15
    LeBytes stamped;
    for (uint16_t f : {2011, 12, 31, 23, 59, 58})
        stamped.u16(f);
    auto withDate = [&](std::initializer_list<uint16_t> fields) {
        LeBytes date;
        for (uint16_t f : fields)
            date.u16(f);
        return track.substr(0, 40) + date.str() + track.substr(52);
    };
    std::string expectedStamped = track.substr(0, 40) + stamped.str() + track.substr(52);
    struct Case {
        const char* what;
        std::string bytes;
        int result;
        std::string after;
    } cases[] = {
        {"complete date", track, 1, track},
        {"day 0", withDate({2009, 5, 0, 8, 30, 0}), 1, expectedStamped},
        {"midnight", withDate({2009, 5, 1, 0, 0, 0}), 1, expectedStamped},
        {"all zero", withDate({0, 0, 0, 0, 0, 0}), 1, expectedStamped},
        {"63 bytes", withDate({0, 0, 0, 0, 0, 0}).substr(0, 63), 0,
         withDate({0, 0, 0, 0, 0, 0}).substr(0, 63)},
        {"64 bytes", withDate({0, 0, 0, 0, 0, 0}).substr(0, 64), 1, expectedStamped.substr(0, 64)},
    };
    for (const auto& c : cases) {
        writeFileBytes(path, c.bytes);
        EXPECT_EQ(stampTrackFile(path), c.result) << c.what;
        EXPECT_EQ(readFileBytes(path), c.after) << c.what;
        EXPECT_EQ(modifiedSeconds(), 1325347198) << c.what;
    }
    EXPECT_EQ(stampTrackFile(dir.file("missing.trk")), 0);
}

}  // namespace
