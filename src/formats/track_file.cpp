#include "formats/track_file.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "formats/byte_io.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/local_time.h"

namespace {

constexpr int64_t kStartTimeOffset = 40;  // first segment's start date and time
constexpr int64_t kStampedLength = 64;    // end of a long-layout first segment header

struct Layout {
    size_t headerSize;
    size_t pointSize;
    bool hasLineId;
};

constexpr Layout kShortLayout{28, 8, false};
constexpr Layout kLongLayout{36, 10, true};

bool acceptedHeader(LeFileReader& in, Layout& layout, uint32_t& version) {
    const unsigned char* magic = in.next(20);
    if (magic == nullptr) return false;
    static constexpr std::u16string_view kMagic = u"SMG_TRACK";
    for (size_t i = 0; i < 10; ++i) {
        char16_t unit = static_cast<char16_t>(loadU16(magic + 2 * i));
        if (unit == u'\0') {
            if (i != kMagic.size()) return false;
            break;
        }
        if (i >= kMagic.size() || unit != kMagic[i]) return false;
    }
    if (!in.u32(version) || version < kShortTrackVersion) return false;
    layout = version == kShortTrackVersion ? kShortLayout : kLongLayout;
    return true;
}

// Walks the segments of an accepted file: onSegment(header, lineId, marker) at the start of each
// segment (the header bytes are valid during the call only), then onRecord(lng, lat, lineId,
// record) with the running sums after each whole point record. Ends quietly where the file does:
// true when that is at an end marker.
template <class OnSegment, class OnRecord>
bool walkSegments(LeFileReader& in, const Layout& layout, OnSegment onSegment, OnRecord onRecord) {
    for (;;) {
        int32_t marker = 0;
        if (!in.i32(marker)) return false;
        if (marker == 0) return true;
        const unsigned char* header = in.next(layout.headerSize);
        if (header == nullptr) return false;
        int32_t lng = static_cast<int32_t>(loadU32(header));
        int32_t lat = static_cast<int32_t>(loadU32(header + 4));
        int32_t lineId = layout.hasLineId ? static_cast<int32_t>(loadU32(header + 28)) : 0;
        onSegment(header, lineId, marker);
        int32_t count = 0;
        if (!in.i32(count) || count < 0) return false;
        // The count is trusted only as far as the rest of the file goes.
        uint64_t whole =
            std::min<uint64_t>(static_cast<uint64_t>(count), in.remaining() / layout.pointSize);
        // The records go through in blocks; the block at the end of the file keeps only its
        // whole records.
        const size_t perBlock = LeFileReader::kMaxView / layout.pointSize;
        bool complete = whole == static_cast<uint64_t>(count);
        for (uint64_t left = whole; left > 0;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(left, perBlock));
            const unsigned char* record = in.next(n * layout.pointSize);
            if (record == nullptr) return false;
            for (size_t i = 0; i < n; ++i, record += layout.pointSize) {
                lng = trackSum(lng, static_cast<int16_t>(loadU16(record)));
                lat = trackSum(lat, static_cast<int16_t>(loadU16(record + 2)));
                onRecord(lng, lat, lineId, record);
            }
            left -= n;
        }
        if (!complete) return false;
    }
}

TrackDateTime loadDateTime(const unsigned char* p) {
    TrackDateTime t;
    uint16_t* fields[] = {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second};
    for (size_t i = 0; i < 6; ++i)
        *fields[i] = loadU16(p + 2 * i);
    return t;
}

bool isKept(int32_t lng, int32_t lat) {
    return lng > 100 && lat > 1;
}

}  // namespace

int readTrackFile(RouteBookData& data, const std::string& path) {
    platform::File file(path, platform::OpenMode::ReadWriteExisting);
    if (!file.isOpen()) return 0;
    LeFileReader in(file);
    Layout layout{};
    uint32_t version = 0;
    if (!acceptedHeader(in, layout, version)) return 0;

    // Room, once, for as many points as the file can hold: at most one per record.
    auto& points = data.points;
    points.reserve(points.size() + static_cast<size_t>(in.remaining() / layout.pointSize));
    walkSegments(
        in, layout, [](const unsigned char*, int32_t, int32_t) {},
        [&points](int32_t lng, int32_t lat, int32_t lineId, const unsigned char*) {
            if (isKept(lng, lat)) points.push_back({lng, lat, lineId});
        });
    return 1;
}

std::optional<std::vector<RecordedSegment>> readRecordedTrack(const std::string& path) {
    platform::File file(path, platform::OpenMode::ReadWriteExisting);
    if (!file.isOpen()) return std::nullopt;
    LeFileReader in(file);
    Layout layout{};
    uint32_t version = 0;
    if (!acceptedHeader(in, layout, version)) return std::nullopt;
    std::vector<RecordedSegment> segments;
    int64_t offset = 0;
    walkSegments(
        in, layout,
        [&](const unsigned char* header, int32_t lineId, int32_t) {
            RecordedSegment segment;
            segment.start = loadDateTime(header + 12);
            segment.lineId = lineId;
            segments.push_back(std::move(segment));
            offset = 0;
        },
        [&](int32_t lng, int32_t lat, int32_t lineId, const unsigned char* record) {
            // Dropped points still take their time.
            offset += loadU16(record + 6);
            if (isKept(lng, lat)) segments.back().points.push_back({{lng, lat, lineId}, offset});
        });
    return segments;
}

std::optional<StoredTrackFile> readStoredTrack(const std::string& path) {
    platform::File file(path, platform::OpenMode::Read);
    if (!file.isOpen()) return std::nullopt;
    LeFileReader in(file);
    Layout layout{};
    StoredTrackFile stored;
    if (!acceptedHeader(in, layout, stored.version)) return std::nullopt;
    auto& segments = stored.segments;
    const bool ended = walkSegments(
        in, layout,
        [&](const unsigned char* header, int32_t lineId, int32_t marker) {
            TrackSegment& s = segments.emplace_back();
            s.lng = static_cast<int32_t>(loadU32(header));
            s.lat = static_cast<int32_t>(loadU32(header + 4));
            s.start = loadDateTime(header + 12);
            s.lineId = lineId;
            s.marker = marker;
            s.reserved = {static_cast<int32_t>(loadU32(header + 8)),
                          static_cast<int32_t>(loadU32(header + 24)),
                          layout.hasLineId ? static_cast<int32_t>(loadU32(header + 32)) : 0};
        },
        [&](int32_t, int32_t, int32_t, const unsigned char* r) {
            segments.back().steps.push_back(
                {static_cast<int16_t>(loadU16(r)), static_cast<int16_t>(loadU16(r + 2)),
                 loadU16(r + 6), loadU16(r + 4),
                 layout.hasLineId ? static_cast<int16_t>(loadU16(r + 8)) : int16_t{0}});
        });
    stored.trailing.resize(ended ? static_cast<size_t>(in.remaining()) : 0);
    stored.exact = ended && in.bytes(stored.trailing.data(), stored.trailing.size());
    return stored;
}

std::optional<int64_t> trackTimeMs(const TrackDateTime& start) {
    // A navigator without a fix writes zeros; years before 1980 are not the navigator's.
    if (start.year < 1980 || start.year > 2200) return std::nullopt;
    platform::LocalTime local{start.year, start.month,  start.day,
                              start.hour, start.minute, start.second};
    std::optional<platform::FileTime> utc = platform::localTimeToFileTime(local);
    if (!utc) return std::nullopt;
    constexpr int64_t kUnixEpochMs = 11644473600000;  // 1601 to 1970
    return static_cast<int64_t>(*utc / 10000) - kUnixEpochMs;
}

TrackDateTime trackDateTimeAt(int64_t unixMs) {
    constexpr int64_t kUnixEpochMs = 11644473600000;
    int64_t sinceEpoch = std::max<int64_t>(unixMs + kUnixEpochMs, 0);
    platform::LocalTime t = platform::fileTimeToLocalTime(
        static_cast<platform::FileTime>(sinceEpoch / 1000) * 10000000);
    return {static_cast<uint16_t>(t.year),   static_cast<uint16_t>(t.month),
            static_cast<uint16_t>(t.day),    static_cast<uint16_t>(t.hour),
            static_cast<uint16_t>(t.minute), static_cast<uint16_t>(t.second)};
}

namespace {

// 1 when the file is long enough to hold a first segment header.
int fillStartTime(platform::File& file, const platform::Clock& clock) {
    if (file.size() < kStampedLength) return 0;
    unsigned char block[24];
    if (!file.seek(kStartTimeOffset) || file.read(block, sizeof block) != sizeof block) return 1;
    bool incomplete = false;
    for (int i = 0; i < 6; ++i)
        incomplete = incomplete || loadU16(block + 2 * i) == 0;
    if (!incomplete) return 1;

    platform::LocalTime now = clock.localNow();
    LeWriter stamp;
    for (int field : {now.year, now.month, now.day, now.hour, now.minute, now.second})
        stamp.u16(static_cast<uint16_t>(field));
    stamp.raw(std::string_view(reinterpret_cast<const char*>(block) + 12, 12));
    if (file.seek(kStartTimeOffset)) file.write(stamp.bytes().data(), stamp.bytes().size());
    return 1;
}

}  // namespace

int stampTrackFile(const std::string& path) {
    platform::File file(path, platform::OpenMode::ReadWriteExisting);
    if (!file.isOpen()) return 0;
    const platform::Clock& clock = platform::clock();
    int result = fillStartTime(file, clock);
    // Last, so that the write above does not move the modification time past "now".
    file.setTimes(clock.utcNow());
    return result;
}

std::string encodeTrackFile(uint32_t version, const std::vector<TrackSegment>& segments) {
    bool longLayout = version != kShortTrackVersion;
    LeWriter out;
    static constexpr char16_t kMagic[10] = u"SMG_TRACK";
    out.units(kMagic, 10).u32(version);
    for (const TrackSegment& s : segments) {
        out.i32(s.marker).i32(s.lng).i32(s.lat).i32(s.reserved[0]);
        const TrackDateTime& t = s.start;
        for (uint16_t field : {t.year, t.month, t.day, t.hour, t.minute, t.second})
            out.u16(field);
        out.i32(s.reserved[1]);
        if (longLayout) out.i32(s.lineId).i32(s.reserved[2]);
        out.i32(static_cast<int32_t>(std::min<size_t>(s.steps.size(), INT32_MAX)));
        for (const TrackStep& p : s.steps) {
            out.i16(p.dLng).i16(p.dLat).u16(p.unused).u16(p.dTime);
            if (longLayout) out.i16(p.dFifth);
        }
    }
    out.i32(0);
    return out.take();
}

int writeTrackFile(const std::string& path, uint32_t version,
                   const std::vector<TrackSegment>& segments) {
    std::string bytes = encodeTrackFile(version, segments);
    platform::File file(path, platform::OpenMode::CreateAlways);
    return file.isOpen() && file.write(bytes.data(), bytes.size()) ? 1 : 0;
}

std::optional<TrackSegment> segmentThrough(const std::vector<TrackPoint>& points, int32_t lineId,
                                           TrackDateTime start, uint16_t stepMilliseconds) {
    TrackSegment segment;
    segment.lineId = lineId;
    segment.start = start;
    if (points.empty()) return segment;
    segment.lng = points.front().lng;
    segment.lat = points.front().lat;
    segment.steps.reserve(points.size());
    segment.steps.push_back({0, 0, 0});
    constexpr int64_t kMin = std::numeric_limits<int16_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int16_t>::max();
    for (size_t i = 1; i < points.size(); ++i) {
        int64_t dLng = int64_t{points[i].lng} - points[i - 1].lng;
        int64_t dLat = int64_t{points[i].lat} - points[i - 1].lat;
        if (dLng < kMin || dLng > kMax || dLat < kMin || dLat > kMax) return std::nullopt;
        segment.steps.push_back(
            {static_cast<int16_t>(dLng), static_cast<int16_t>(dLat), stepMilliseconds});
    }
    return segment;
}
