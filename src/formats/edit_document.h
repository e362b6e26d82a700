#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/route_file.h"
#include "formats/track_file.h"

// The editing document: one route book's set of files (docs/edit-document.md) as JSON, for the
// page to edit and the terminal to script. It holds every field the files hold, so that a set
// turned into a document and back is the same files byte for byte, and it is checked like every
// text from outside: its size, nesting, counts, lengths, coordinates and kinds, with no field
// that the format does not name.

inline constexpr const char* kEditFormat = "vantu-route-book";
inline constexpr int kEditFormatVersion = 1;

// The limits of a document, also handed to the page (editLimitsJson).
namespace edit_limits {
inline constexpr size_t kDocumentBytes = size_t{64} << 20;
// Object and array levels: document, track, segments, segment, points, point.
inline constexpr int kDepth = 6;
inline constexpr size_t kRecords = 10000;
inline constexpr size_t kSegments = 65536;
inline constexpr size_t kPoints = 1000000;
// Text lengths in UTF-16 units, as the route file stores them.
inline constexpr size_t kTitleUnits = 20;
inline constexpr size_t kAuthorUnits = 32;
inline constexpr size_t kCityUnits = 10;
inline constexpr size_t kTextUnits = 65535;
inline constexpr size_t kPictureUnits = 259;
// The set's other files: the companion N.sim and the files of the folder N besides the route file.
inline constexpr size_t kFolderFiles = 256;
inline constexpr size_t kFileBytes = size_t{20} << 20;  // all of them together
inline constexpr size_t kFileNameUnits = 100;
// Positions in 0.00001 degree; two points of a segment lie at most one int16 step apart each way.
inline constexpr int32_t kMaxLng = 18000000;
inline constexpr int32_t kMaxLat = 9000000;
}  // namespace edit_limits

// A file of the set's folder other than its route file.
struct EditFile {
    std::u16string name;
    std::string bytes;
};

// One route book's set as the document holds it. Route texts hold every stored unit (a NUL
// included); track segments hold their point records as steps.
struct EditDocument {
    std::u16string name;  // the name the set's files carry, for renaming them; may be empty
    std::optional<RouteBookData> route;
    RouteIndex routeIndex = RouteIndex::Zeros;
    std::string routeTrailing;
    StoredTrackFile track;
    std::optional<std::string> sim;
    std::vector<EditFile> folderFiles;
};

// What the navigator cannot show in a text, or a point it does not show: where (the field's path
// in the document, "route.records[2].title"), and why, with the unit (counted from 0) and
// character.
struct EditWarning {
    std::string field;
    std::string reason;
};

struct EditReading {
    std::optional<EditDocument> document;
    std::string refusal;  // when there is no document: the reason, naming the field
    std::vector<EditWarning> warnings;
};

// Reads and checks a document (UTF-8 JSON).
EditReading readEditDocument(std::string_view json);
// The document as JSON (UTF-8, keys in a fixed order).
std::string writeEditDocument(const EditDocument& document);
// What the navigator will not show of the document: characters in its texts and track points
// outside the part of the map it shows. At most kMaxWarnings, the last one counting the rest.
std::vector<EditWarning> navigatorWarnings(const EditDocument& document);
inline constexpr size_t kMaxWarnings = 100;
// The limits above as a JSON object, for the page.
std::string editLimitsJson();
