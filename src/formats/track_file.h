#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/route_file.h"

// The navigator's track file (.trk, magic "SMG_TRACK"): segments of a start position, a start
// date and time and one small delta record per recorded point. Version 256 is the short layout
// (28-byte segment headers, 8-byte points); later versions add a line number and a fifth sum
// (36-byte headers, 10-byte points).

inline constexpr uint32_t kShortTrackVersion = 256;
inline constexpr uint32_t kLongTrackVersion = 257;

// A running sum after one step; it wraps as the navigator's 32-bit sums do, without undefined
// behaviour.
inline int32_t trackSum(int32_t sum, int16_t delta) {
    return static_cast<int32_t>(static_cast<uint32_t>(sum) +
                                static_cast<uint32_t>(static_cast<int32_t>(delta)));
}

// Appends the file's kept points (longitude above 100 and latitude above 1) to data.points.
// 1 when magic and version were accepted, also when the file ends early; 0 otherwise.
int readTrackFile(RouteBookData& data, const std::string& path);

// Sets the file's times to now and fills in the first segment's start date and time with the
// local time when any of its fields is 0. 1 when the file was opened and is at least 64 bytes
// long.
int stampTrackFile(const std::string& path);

// Writing track files, for sample data and tests.

struct TrackDateTime {
    uint16_t year = 0;
    uint16_t month = 0;  // 1 to 12
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
};

struct TrackStep {
    int16_t dLng = 0;
    int16_t dLat = 0;
    uint16_t dTime = 1000;  // milliseconds since the previous point
    // Fields the reader passes over, kept for exact copies: the two bytes at offset 4 and the
    // fifth sum's change (long layout only).
    uint16_t unused = 0;
    int16_t dFifth = 0;
};

struct TrackSegment {
    int32_t lng = 0;  // starting values of the running sums
    int32_t lat = 0;
    TrackDateTime start;
    int32_t lineId = 0;  // written in the long layout only
    std::vector<TrackStep> steps;
    // Fields the reader passes over, kept for exact copies: the marker before the segment
    // (nonzero), the header's int32 at offsets 8 and 24 and the fifth sum's start at 32 (long
    // layout only).
    int32_t marker = 1;
    std::array<int32_t, 3> reserved = {};
};

// The file's bytes, every field as the segments hold it.
std::string encodeTrackFile(uint32_t version, const std::vector<TrackSegment>& segments);
// 1 when the whole file was written.
int writeTrackFile(const std::string& path, uint32_t version,
                   const std::vector<TrackSegment>& segments);

// A track file as stored, for a copy that must come out byte for byte: every segment with every
// point record (kept or not) and the bytes after the end marker. `exact` when the file is just
// that, so that encodeTrackFile gives its bytes again; a file that ends early is not.
struct StoredTrackFile {
    uint32_t version = kLongTrackVersion;
    std::vector<TrackSegment> segments;
    std::string trailing;
    bool exact = false;
};
// Nothing when the file cannot be opened or its magic or version are refused.
std::optional<StoredTrackFile> readStoredTrack(const std::string& path);

// A kept point of a recorded track with the milliseconds since its segment's start.
struct RecordedPoint {
    TrackPoint point;
    int64_t offsetMs = 0;
};

// One segment of a track file as recorded: its start date and time (local time; zeros when the
// navigator had none), its line number and its kept points.
struct RecordedSegment {
    TrackDateTime start;
    int32_t lineId = 0;
    std::vector<RecordedPoint> points;
};

// The track segment by segment with the points' times, kept by the rules of readTrackFile.
// Nothing when the file cannot be opened or its magic or version are refused.
std::optional<std::vector<RecordedSegment>> readRecordedTrack(const std::string& path);

// A segment start as milliseconds since 1970-01-01 UTC; nothing when it names no moment (a
// navigator without a fix writes zeros).
std::optional<int64_t> trackTimeMs(const TrackDateTime& start);
// The local date and time of a moment given in milliseconds since 1970 UTC, to the second below.
TrackDateTime trackDateTimeAt(int64_t unixMs);

// A segment whose points are exactly `points` (the first step is zero), or nothing when two
// consecutive points are too far apart for one step.
std::optional<TrackSegment> segmentThrough(const std::vector<TrackPoint>& points, int32_t lineId,
                                           TrackDateTime start, uint16_t stepMilliseconds);
