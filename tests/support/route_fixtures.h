#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/route_file.h"

// Little-endian byte builders for the navigator's route and track files, written independently
// of the program's writers so that tests can also build files those writers never make (lengths
// that lie, embedded NULs, files cut short).

class LeBytes {
  public:
    LeBytes& u16(uint16_t v);
    LeBytes& i16(int16_t v) { return u16(static_cast<uint16_t>(v)); }
    LeBytes& u32(uint32_t v);
    LeBytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    // The text's units, NUL-padded or cut to `units`.
    LeBytes& field(std::u16string_view text, size_t units);
    // Exactly the text's units.
    LeBytes& text(std::u16string_view text);
    LeBytes& raw(std::string_view bytes);

    const std::string& str() const { return bytes_; }
    size_t size() const { return bytes_.size(); }

  private:
    std::string bytes_;
};

struct RecordFixture {
    std::u16string title{};
    int16_t kind = 0;
    int32_t mileage = 0;
    int32_t param1 = 1;
    int32_t param2 = 100;
    int32_t lng = 11600000;
    int32_t lat = 3900000;
    std::u16string content{};  // stored as is; contentLength defaults to its length
    std::u16string img{};
    std::optional<int32_t> contentLength{};
    std::optional<int32_t> imgLength{};
};

struct RouteFixture {
    std::u16string magic = u"SMG_RUT";
    uint32_t version = 259;
    std::u16string author{};
    int32_t lastUpDate = 20090321;
    std::u16string startCity{};
    std::u16string endCity{};
    std::u16string headerText{};
    std::vector<RecordFixture> records{};
    std::optional<int32_t> recordCount{};  // defaults to the number of records
    // One zero per record unless given; a lying recordCount does not change it.
    std::optional<std::vector<int32_t>> recordIndex{};
};

std::string routeFileBytes(const RouteFixture& route);
std::string recordBytes(const RecordFixture& record);

// A track file: `segments` of absolute points, the first at the segment's start position,
// starting 2009-05-01 08:30:15, one second apart. A point farther from the one before than one
// step can reach starts another segment with the same line number.
struct TrackFixtureSegment {
    int32_t lineId = 0;
    std::vector<TrackPoint> points{};
};
std::string trackFileBytes(uint32_t version, const std::vector<TrackFixtureSegment>& segments);
