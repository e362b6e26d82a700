#include "formats/track_summary.h"

#include <gtest/gtest.h>

namespace {

TEST(TrackSummaryTest, SummarisesPointsLengthEndsAndTimes) {
    RecordedSegment untimed;
    untimed.points = {{{11600000, 3900000, 0}, 0}};
    RecordedSegment timed;
    timed.start = {2009, 5, 1, 8, 0, 0};
    timed.points = {{{11600000, 3901000, 0}, 1000}, {{11600000, 3902000, 0}, 3725000}};
    TrackSummary s = summarizeTrack({untimed, RecordedSegment{}, timed}, "Day1");
    EXPECT_EQ(s.points, 3u);
    EXPECT_EQ(s.segments, 2u);
    EXPECT_NEAR(s.lengthMetres, 2223.9, 0.1);
    std::string text = formatTrackSummary(s);
    EXPECT_NE(text.find("name: Day1\npoints: 3 in 2 segments\nlength: 2.224 km\n"
                        "start: 39.00000 N, 116.00000 E\nend: 39.02000 N, 116.00000 E\n"
                        "time: 2009-05-01 08:00:01 to 2009-05-01 09:02:05 (1 h 02 min 04 s)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(formatTrackSummary(summarizeTrack({}, "x")).find("points: 0 in 0 segments"),
              std::string::npos);
}

}  // namespace
