#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The navigator's route file (.rut, magic "SMG_RUT") and the one in-memory object that holds a
// route file together with a track. Coordinates are signed 32-bit integers in 0.00001 degree
// (11600000 is 116 degrees east). Text fields are UTF-16; fixed fields are NUL-padded and a field
// filled to its last unit has no terminator.

enum class RecordKind : int16_t { Book = 0, Poi = 1, Line = 2 };
// Other kind values are kept as read: RecordKind has int16 as its underlying type.

struct TrackPoint {
    int32_t lng = 0;
    int32_t lat = 0;
    int32_t lineId = 0;  // line number of the point's track segment; 0 when the file has none

    bool operator==(const TrackPoint&) const = default;
};

struct RouteHeader {
    std::array<char16_t, 10> magic = {u'S', u'M', u'G', u'_', u'R', u'U', u'T'};
    uint32_t version = 259;
    std::array<char16_t, 32> author = {};
    int32_t lastUpDate = 20090321;  // yyyymmdd as a decimal number
    std::array<char16_t, 10> startCity = {};
    std::array<char16_t, 10> endCity = {};
    int32_t headerTextLength = 0;  // in UTF-16 units, as stored in the file
    std::u16string headerText;
    int32_t recordCount = 0;  // as stored in the file
    std::vector<int32_t> recordIndex;
};

struct RouteRecord {
    std::array<char16_t, 20> title = {};
    RecordKind kind = RecordKind::Book;
    int32_t mileage = 0;  // metres, on the Book record
    int32_t param1 = 1;   // param1 and param2 are carried through, never interpreted
    int32_t param2 = 100;
    int32_t lng = 11600000;
    int32_t lat = 3900000;
    int32_t contentLength = 0;  // stored length; content holds the text up to its first NUL
    std::u16string content;
    int32_t imgLength = 0;
    std::u16string img;
};

class RouteBookData {
  public:
    RouteHeader header;
    std::vector<std::unique_ptr<RouteRecord>> records;
    std::vector<TrackPoint> points;

    // Replaces the header and appends the file's records; 1 when the file was accepted (magic
    // "SMG_RUT", version 258 or above), 0 otherwise with the object unchanged. A file that ends
    // early keeps the records read whole. `path` is an ANSI local path.
    int readRouteFile(const std::string& path);
    // Writes the header and the records as a route file; the counts and lengths written are those
    // of the texts and records held. 1 when every byte was written, 0 otherwise.
    int writeRouteFile(const std::string& path) const;
    // Drops all records and track points; the header keeps its values.
    void clearRouteBookData();
};

// A route file as stored, for a copy that must come out byte for byte: the header's and
// records' texts with every stored unit (NULs included), the record index as read, and the bytes
// after the last record. `exact` when the file is just that, so that encodeRouteFile gives its
// bytes again; a file that ends early or whose lengths disagree with what it holds is not.
struct StoredRouteFile {
    RouteBookData data;
    std::string trailing;
    bool exact = false;
};
// Nothing when the file cannot be opened or its magic or version are refused.
std::optional<StoredRouteFile> readStoredRouteFile(const std::string& path);

// How a route file's record index is written: zeros (as this program writes it), each record's
// offset in the file, or the header's recordIndex (zeros where it has no entry).
enum class RouteIndex { Zeros, Offsets, Kept };
// The file's bytes, with the counts and lengths of the texts and records held.
std::string encodeRouteFile(const RouteBookData& data, RouteIndex index);
// Where each record starts in the file encodeRouteFile writes.
std::vector<int32_t> routeRecordOffsets(const RouteBookData& data);

// The title of the file's first record as ANSI text; empty when there is none or the file cannot
// be opened. Magic and version are not checked.
std::string readFirstRecordTitle(const std::string& path);
