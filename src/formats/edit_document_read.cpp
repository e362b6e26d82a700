// The editing document read and checked. Every refusal names the field (its path in the
// document) and the rule; nothing the format does not name is taken or passed over.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>

#include "formats/base64.h"
#include "formats/edit_document.h"
#include "formats/edit_text.h"
#include "platform/utf8_text.h"

namespace {

using Json = nlohmann::json;
namespace limits = edit_limits;

struct Refused {
    std::string reason;
};

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
    throw Refused{path.empty() ? why : path + ": " + why};
}

std::string join(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}
std::string at(const std::string& path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

// Checks that `v` is an object of only the named fields.
void object(const Json& v, const std::string& path, std::initializer_list<std::string_view> keys) {
    if (!v.is_object()) refuse(path, "not an object");
    for (const auto& item : v.items())
        if (std::find(keys.begin(), keys.end(), item.key()) == keys.end())
            refuse(join(path, item.key()), "not a field of the format");
}

const Json* member(const Json& v, std::string_view key) {
    auto found = v.find(key);
    return found == v.end() ? nullptr : &*found;
}

const Json& required(const Json& v, const std::string& path, std::string_view key) {
    if (const Json* m = member(v, key)) return *m;
    refuse(join(path, key), "missing");
}

const Json& array(const Json& v, const std::string& path, size_t most) {
    if (!v.is_array()) refuse(path, "not an array");
    if (v.size() > most)
        refuse(path, std::to_string(v.size()) + " entries, at most " + std::to_string(most));
    return v;
}

int64_t integer(const Json& v, const std::string& path, int64_t least, int64_t most) {
    if (!v.is_number_integer()) refuse(path, "not an integer");
    const bool above = v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(most);
    const int64_t value = above ? most : v.get<int64_t>();
    if (above || value < least || value > most)
        refuse(path, v.dump() + " is out of range (" + std::to_string(least) + " to " +
                         std::to_string(most) + ")");
    return value;
}

template <class T>
T number(const Json& v, const std::string& path) {
    return static_cast<T>(
        integer(v, path, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

template <class T>
T numberOr(const Json& v, const std::string& path, std::string_view key, T fallback) {
    const Json* m = member(v, key);
    return m ? number<T>(*m, join(path, key)) : fallback;
}

// A text: a string, or the list of its UTF-16 units.
std::u16string text(const Json& v, const std::string& path, size_t most) {
    std::u16string units;
    if (v.is_string()) {
        units = utf8::toUtf16(v.get_ref<const std::string&>());
    } else if (v.is_array()) {
        array(v, path, most);
        for (size_t i = 0; i < v.size(); ++i)
            units += static_cast<char16_t>(integer(v[i], at(path, i), 0, 0xFFFF));
    } else {
        refuse(path, "not a text");
    }
    if (units.size() > most)
        refuse(path,
               std::to_string(units.size()) + " UTF-16 units, at most " + std::to_string(most));
    return units;
}

std::u16string textOr(const Json& v, const std::string& path, std::string_view key, size_t most) {
    const Json* m = member(v, key);
    return m ? text(*m, join(path, key), most) : std::u16string();
}

template <size_t N>
std::array<char16_t, N> field(const Json& v, const std::string& path, std::string_view key) {
    std::array<char16_t, N> out{};
    const std::u16string units = textOr(v, path, key, N);
    std::copy(units.begin(), units.end(), out.begin());
    return out;
}

// Base64 bytes, counted against what the set's files may hold together.
std::string bytes(const Json& v, const std::string& path, size_t& budget) {
    if (!v.is_string()) refuse(path, "not Base64 text");
    const std::string& encoded = v.get_ref<const std::string&>();
    if (encoded.size() / 4 * 3 > budget + 2)
        refuse(path, "the set's files would exceed " + std::to_string(limits::kFileBytes) +
                         " bytes together");
    std::optional<std::string> decoded = base64Decode(encoded);
    if (!decoded) refuse(path, "not Base64 text (padded, without white space)");
    if (decoded->size() > budget)
        refuse(path, "the set's files would exceed " + std::to_string(limits::kFileBytes) +
                         " bytes together");
    budget -= decoded->size();
    return std::move(*decoded);
}

// A name of a file on the navigator.
std::u16string fileName(const Json& v, const std::string& path) {
    std::u16string name = text(v, path, limits::kFileNameUnits);
    if (name.empty()) refuse(path, "empty");
    if (!wellFormedUtf16(name)) refuse(path, "not valid UTF-16");
    for (char16_t c : name)
        if (c < 0x20 || c == 0x7F ||
            std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
            refuse(path, "holds a character a file name cannot (control, \\ / : * ? \" < > |)");
    if (name.front() == u'.' || name.back() == u'.' || name.back() == u' ')
        refuse(path, "starts with a dot or ends with a dot or space");
    return name;
}

RecordKind recordKind(const Json& v, const std::string& path) {
    if (v.is_string()) {
        const std::string& name = v.get_ref<const std::string&>();
        if (name == "book") return RecordKind::Book;
        if (name == "poi") return RecordKind::Poi;
        if (name == "line") return RecordKind::Line;
        refuse(path, "not a kind (book, poi, line, or a number for another)");
    }
    const auto kind = number<int16_t>(v, path);
    if (kind >= 0 && kind <= 2) refuse(path, "kinds 0, 1 and 2 are written book, poi and line");
    return static_cast<RecordKind>(kind);
}

std::unique_ptr<RouteRecord> readRecord(const Json& v, const std::string& path) {
    object(v, path,
           {"kind", "title", "lng", "lat", "mileage", "param1", "param2", "text", "picture"});
    auto r = std::make_unique<RouteRecord>();
    r->kind = recordKind(required(v, path, "kind"), join(path, "kind"));
    r->title = field<limits::kTitleUnits>(v, path, "title");
    r->lng = static_cast<int32_t>(
        integer(required(v, path, "lng"), join(path, "lng"), -limits::kMaxLng, limits::kMaxLng));
    r->lat = static_cast<int32_t>(
        integer(required(v, path, "lat"), join(path, "lat"), -limits::kMaxLat, limits::kMaxLat));
    r->mileage = numberOr<int32_t>(v, path, "mileage", 0);
    r->param1 = numberOr<int32_t>(v, path, "param1", 1);
    r->param2 = numberOr<int32_t>(v, path, "param2", 100);
    r->content = textOr(v, path, "text", limits::kTextUnits);
    r->contentLength = static_cast<int32_t>(r->content.size());
    r->img = textOr(v, path, "picture", limits::kPictureUnits);
    r->imgLength = static_cast<int32_t>(r->img.size());
    return r;
}

RouteIndex recordIndex(const Json& v, RouteHeader& header, size_t records) {
    const std::string path = "route.recordIndex";
    if (v.is_string()) {
        if (v.get_ref<const std::string&>() != "offsets") refuse(path, "not \"offsets\"");
        return RouteIndex::Offsets;
    }
    if (!v.is_array() || v.size() != records)
        refuse(path, "neither \"offsets\" nor one number for each record");
    for (size_t i = 0; i < v.size(); ++i)
        header.recordIndex.push_back(number<int32_t>(v[i], at(path, i)));
    return RouteIndex::Kept;
}

void readHeader(const Json& v, RouteHeader& h) {
    const std::string path = "route";
    h.version = numberOr<uint32_t>(v, path, "version", h.version);
    if (h.version < 258)
        refuse("route.version", "below 258, a version the navigator does not read");
    if (member(v, "magic")) {
        h.magic = field<10>(v, path, "magic");
        if (std::u16string_view(h.magic.data(), 8) != std::u16string_view(u"SMG_RUT\0", 8))
            refuse("route.magic", "not SMG_RUT, which marks a route file");
    }
    h.author = field<limits::kAuthorUnits>(v, path, "author");
    h.lastUpDate = numberOr<int32_t>(v, path, "lastUpDate", h.lastUpDate);
    h.startCity = field<limits::kCityUnits>(v, path, "startCity");
    h.endCity = field<limits::kCityUnits>(v, path, "endCity");
    h.headerText = textOr(v, path, "headerText", limits::kTextUnits);
    h.headerTextLength = static_cast<int32_t>(h.headerText.size());
}

void readRoute(const Json& v, EditDocument& document, size_t& budget) {
    const std::string path = "route";
    object(v, path,
           {"version", "magic", "author", "lastUpDate", "startCity", "endCity", "headerText",
            "recordIndex", "records", "trailing"});
    RouteBookData& route = document.route.emplace();
    readHeader(v, route.header);
    if (const Json* records = member(v, "records")) {
        array(*records, "route.records", limits::kRecords);
        for (size_t i = 0; i < records->size(); ++i)
            route.records.push_back(readRecord((*records)[i], at("route.records", i)));
    }
    route.header.recordCount = static_cast<int32_t>(route.records.size());
    if (const Json* index = member(v, "recordIndex"))
        document.routeIndex = recordIndex(*index, route.header, route.records.size());
    if (const Json* trailing = member(v, "trailing"))
        document.routeTrailing = bytes(*trailing, "route.trailing", budget);
}

struct PointRecord {
    int32_t lng, lat;
    TrackStep step;
};

// The number of the point's field k, when an integer in the range; the path of a refusal is
// made only for one, as a track holds many points.
int64_t pointField(const Json& point, size_t k, int64_t least, int64_t most,
                   const std::string& list, size_t i) {
    const Json& v = point[k];
    if (v.is_number_integer() && !(v.is_number_unsigned() && v.get<uint64_t>() > uint64_t(most))) {
        const int64_t value = v.get<int64_t>();
        if (value >= least && value <= most) return value;
    }
    return integer(v, at(at(list, i), k), least, most);
}

PointRecord readPoint(const Json& v, const std::string& list, size_t i, bool longLayout) {
    if (!v.is_array() || (v.size() != 3 && v.size() != 5))
        refuse(at(list, i), "not [lng, lat, ms] or [lng, lat, ms, unused, fifth]");
    PointRecord p{};
    p.lng = static_cast<int32_t>(pointField(v, 0, -limits::kMaxLng, limits::kMaxLng, list, i));
    p.lat = static_cast<int32_t>(pointField(v, 1, -limits::kMaxLat, limits::kMaxLat, list, i));
    p.step.dTime = static_cast<uint16_t>(pointField(v, 2, 0, UINT16_MAX, list, i));
    if (v.size() == 5) {
        p.step.unused = static_cast<uint16_t>(pointField(v, 3, 0, UINT16_MAX, list, i));
        p.step.dFifth = static_cast<int16_t>(pointField(v, 4, INT16_MIN, INT16_MAX, list, i));
        if (!longLayout && p.step.dFifth != 0)
            refuse(at(at(list, i), 4), "the short layout (version 256) has no fifth sum");
    }
    return p;
}

// The segment's points as steps from its origin: each within a step of the one before.
void readPoints(const Json& list, const std::string& path, TrackSegment& s, bool ownOrigin,
                bool longLayout) {
    s.steps.reserve(list.size());
    int64_t lng = s.lng;
    int64_t lat = s.lat;
    for (size_t i = 0; i < list.size(); ++i) {
        PointRecord p = readPoint(list[i], path, i, longLayout);
        if (i == 0 && !ownOrigin) {
            s.lng = p.lng;
            s.lat = p.lat;
            lng = p.lng;
            lat = p.lat;
        }
        const int64_t dLng = p.lng - lng;
        const int64_t dLat = p.lat - lat;
        if (dLng < INT16_MIN || dLng > INT16_MAX || dLat < INT16_MIN || dLat > INT16_MAX)
            refuse(at(path, i), "a step of " + std::to_string(dLng) + ", " + std::to_string(dLat) +
                                    " from the point before; a segment's steps are -32768 to "
                                    "32767 each way (start a segment there, or add points "
                                    "between)");
        p.step.dLng = static_cast<int16_t>(dLng);
        p.step.dLat = static_cast<int16_t>(dLat);
        s.steps.push_back(p.step);
        lng = p.lng;
        lat = p.lat;
    }
}

void readSegment(const Json& v, const std::string& path, bool longLayout, size_t& points,
                 TrackSegment& s) {
    object(v, path, {"lineId", "start", "origin", "marker", "reserved", "points"});
    s.lineId = numberOr<int32_t>(v, path, "lineId", 0);
    if (!longLayout && s.lineId != 0)
        refuse(join(path, "lineId"), "the short layout (version 256) has no line numbers");
    if (const Json* start = member(v, "start")) {
        if (!start->is_array() || start->size() != 6)
            refuse(join(path, "start"), "not [year, month, day, hour, minute, second]");
        TrackDateTime& t = s.start;
        uint16_t* fields[] = {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second};
        for (size_t i = 0; i < 6; ++i)
            *fields[i] = number<uint16_t>((*start)[i], at(join(path, "start"), i));
    }
    s.marker = numberOr<int32_t>(v, path, "marker", 1);
    if (s.marker == 0) refuse(join(path, "marker"), "0, which ends the track");
    if (const Json* reserved = member(v, "reserved")) {
        if (!reserved->is_array() || reserved->size() != 3)
            refuse(join(path, "reserved"), "not three numbers");
        for (size_t i = 0; i < 3; ++i)
            s.reserved[i] = number<int32_t>((*reserved)[i], at(join(path, "reserved"), i));
        if (!longLayout && s.reserved[2] != 0)
            refuse(at(join(path, "reserved"), 2),
                   "the short layout (version 256) has no fifth sum");
    }
    const Json* origin = member(v, "origin");
    if (origin) {
        if (!origin->is_array() || origin->size() != 2)
            refuse(join(path, "origin"), "not [lng, lat]");
        s.lng = number<int32_t>((*origin)[0], at(join(path, "origin"), 0));
        s.lat = number<int32_t>((*origin)[1], at(join(path, "origin"), 1));
    }
    const Json& list = required(v, path, "points");
    array(list, join(path, "points"), limits::kPoints);
    points += list.size();
    if (points > limits::kPoints)
        refuse(join(path, "points"),
               "the track would have more than " + std::to_string(limits::kPoints) + " points");
    readPoints(list, join(path, "points"), s, origin != nullptr, longLayout);
}

void readTrack(const Json& v, StoredTrackFile& track, size_t& budget) {
    object(v, "track", {"version", "segments", "trailing"});
    track.version = numberOr<uint32_t>(v, "track", "version", kLongTrackVersion);
    if (track.version < kShortTrackVersion)
        refuse("track.version", "below 256, a version the navigator does not read");
    const bool longLayout = track.version != kShortTrackVersion;
    const Json& segments =
        array(required(v, "track", "segments"), "track.segments", limits::kSegments);
    size_t points = 0;
    track.segments.resize(segments.size());
    for (size_t i = 0; i < segments.size(); ++i)
        readSegment(segments[i], at("track.segments", i), longLayout, points, track.segments[i]);
    if (const Json* trailing = member(v, "trailing"))
        track.trailing = bytes(*trailing, "track.trailing", budget);
}

void readFiles(const Json& v, EditDocument& document, size_t& budget) {
    if (const Json* sim = member(v, "sim")) document.sim = bytes(*sim, "sim", budget);
    const Json* files = member(v, "folderFiles");
    if (files == nullptr) return;
    array(*files, "folderFiles", limits::kFolderFiles);
    for (size_t i = 0; i < files->size(); ++i) {
        const std::string path = at("folderFiles", i);
        object((*files)[i], path, {"name", "data"});
        EditFile& f = document.folderFiles.emplace_back();
        f.name = fileName(required((*files)[i], path, "name"), join(path, "name"));
        f.bytes = bytes(required((*files)[i], path, "data"), join(path, "data"), budget);
    }
}

// Builds the JSON value as the parser reads it, refusing more nesting than the format has and a
// field given twice (a reader would keep only one of them).
class BoundedBuilder : public nlohmann::json_sax<Json> {
  public:
    bool null() override { return value(nullptr); }
    bool boolean(bool v) override { return value(v); }
    bool number_integer(number_integer_t v) override { return value(v); }
    bool number_unsigned(number_unsigned_t v) override { return value(v); }
    bool number_float(number_float_t v, const string_t&) override { return value(v); }
    bool string(string_t& v) override { return value(std::move(v)); }
    bool binary(binary_t& v) override { return value(Json::binary(std::move(v))); }
    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& key) override {
        if (open_.back()->contains(key))
            throw Refused{"the field " + key + " is given twice in one object"};
        key_ = std::move(key);
        return true;
    }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
        const std::string what = e.what();
        const size_t cut = what.find("] ");
        throw Refused{"not JSON: " + (cut == std::string::npos ? what : what.substr(cut + 2))};
    }

    Json take() { return std::move(root_); }

  private:
    // Where the next value goes: the root, the end of the open array, or the open object's key.
    Json* place(Json v) {
        if (open_.empty()) return &(root_ = std::move(v));
        Json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(v));
            return &parent.back();
        }
        return &(parent[key_] = std::move(v));
    }
    bool value(Json v) {
        place(std::move(v));
        return true;
    }
    bool open(Json container) {
        if (open_.size() >= static_cast<size_t>(limits::kDepth))
            throw Refused{"nested deeper than " + std::to_string(limits::kDepth) + " levels"};
        open_.push_back(place(std::move(container)));
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }

    Json root_;
    std::vector<Json*> open_;
    string_t key_;
};

Json parseBounded(std::string_view text) {
    BoundedBuilder builder;
    Json::sax_parse(text.begin(), text.end(), &builder);
    return builder.take();
}

EditDocument readDocument(const Json& v) {
    object(v, "", {"format", "formatVersion", "name", "route", "track", "sim", "folderFiles"});
    const Json& format = required(v, "", "format");
    if (!format.is_string() || format.get_ref<const std::string&>() != kEditFormat)
        refuse("format", std::string("not \"") + kEditFormat + "\"");
    if (integer(required(v, "", "formatVersion"), "formatVersion", 0, INT32_MAX) !=
        kEditFormatVersion)
        refuse("formatVersion", "this program reads version " + std::to_string(kEditFormatVersion));
    EditDocument document;
    if (const Json* name = member(v, "name"))
        if (!name->is_string() || !name->get_ref<const std::string&>().empty())
            document.name = fileName(*name, "name");
    size_t budget = limits::kFileBytes;
    if (const Json* route = member(v, "route")) readRoute(*route, document, budget);
    readTrack(required(v, "", "track"), document.track, budget);
    readFiles(v, document, budget);
    return document;
}

}  // namespace

EditReading readEditDocument(std::string_view json) {
    EditReading out;
    if (json.size() > limits::kDocumentBytes) {
        out.refusal = "the document is " + std::to_string(json.size()) + " bytes, at most " +
                      std::to_string(limits::kDocumentBytes);
        return out;
    }
    try {
        EditDocument document = readDocument(parseBounded(json));
        out.warnings = navigatorWarnings(document);
        out.document = std::move(document);
    } catch (const Refused& refused) {
        out.refusal = refused.reason;
    }
    return out;
}
