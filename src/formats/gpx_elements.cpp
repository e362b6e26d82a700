#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "formats/gpx_reader_impl.h"

// The GPX grammar: which element is which, their texts as the navigator's tools have always
// read them, and what each hands the sink when it ends.
namespace {

constexpr int32_t kUnitsPerDegree = 100000;

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Degrees as text to units, rounded to the nearest; false for anything else or out of range.
bool parseDegrees(const char* text, double limit, int32_t& units) {
    if (text == nullptr) return false;
    std::string_view s(text);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(value) ||
        std::fabs(value) > limit)
        return false;
    units = static_cast<int32_t>(std::llround(value * kUnitsPerDegree));
    return true;
}

const char* attribute(const XML_Char** atts, std::string_view name) {
    for (; atts[0] != nullptr; atts += 2)
        if (name == atts[0]) return atts[1];
    return nullptr;
}

std::string_view localName(std::string_view name) {
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool isBlank(const std::string& text) {
    for (char c : text)
        if (!isXmlSpace(c)) return false;
    return true;
}

bool collectsText(GpxKind kind) {
    return kind >= GpxKind::Name;
}

}  // namespace

GpxKind GpxReader::Impl::kindOf(std::string_view name) const {
    using K = GpxKind;
    switch (open.empty() ? K::Other : open.back().kind) {
        case K::Gpx:
            if (name == "metadata") return metadataSeen == 0 ? K::Metadata : K::Other;
            return name == "wpt"      ? K::Wpt
                   : name == "rte"    ? K::Rte
                   : name == "trk"    ? K::Trk
                   : name == "name"   ? K::Name
                   : name == "desc"   ? K::Desc
                   : name == "author" ? K::Author
                                      : K::Other;
        case K::Metadata:
            if (name == "author") return authorsSeen == 0 ? K::MetadataAuthor : K::Other;
            return name == "name" ? K::Name : name == "desc" ? K::Desc : K::Other;
        case K::MetadataAuthor:
            return name == "name" ? K::Name : K::Other;
        case K::Wpt:
        case K::Rtept:
            return name == "name"   ? K::Name
                   : name == "desc" ? K::Desc
                   : name == "cmt"  ? K::Cmt
                                    : K::Other;
        case K::Rte:
            return name == "rtept" ? K::Rtept : name == "name" ? K::Name : K::Other;
        case K::Trk:
            return name == "trkseg"   ? K::Trkseg
                   : name == "name"   ? K::Name
                   : name == "number" ? K::Number
                                      : K::Other;
        case K::Trkseg:
            return name == "trkpt" ? K::Trkpt : K::Other;
        case K::Trkpt:
            return name == "time" ? K::Time : K::Other;
        default:
            return K::Other;
    }
}

bool GpxReader::Impl::readPosition(const XML_Char** atts, std::string_view tag, int32_t& lng,
                                   int32_t& lat) {
    if (parseDegrees(attribute(atts, "lat"), 90, lat) &&
        parseDegrees(attribute(atts, "lon"), 180, lng) && gpxCanHold(lng, lat))
        return true;
    stop("a <" + std::string(tag) + "> at line " + std::to_string(line()) +
         " has no valid lat and lon (latitude -90 to 90, longitude -180 to below 180)");
    return false;
}

void GpxReader::Impl::startElement(const XML_Char* name, const XML_Char** atts) {
    if (!error.empty() || done) return;
    // The parent's text, if it had any, ends here.
    otherNode();
    if (!depth.enter())
        return stop(xmlTooDeep(limits) + " (at line " + std::to_string(line()) + ")");
    std::string_view local = localName(name);
    if (open.empty() && local != "gpx")
        return stop("not a GPX document (its root element is not <gpx>)");
    const GpxKind kind = open.empty() ? GpxKind::Gpx : kindOf(local);
    Open& element = open.emplace_back();
    element.kind = kind;
    element.line = line();
    if (!collectsText(kind)) element.text = Open::Text::Done;
    begin(kind, local, atts);
}

// What an element of each kind starts.
void GpxReader::Impl::begin(GpxKind kind, std::string_view local, const XML_Char** atts) {
    switch (kind) {
        case GpxKind::Metadata:
            ++metadataSeen;
            break;
        case GpxKind::MetadataAuthor:
            ++authorsSeen;
            break;
        case GpxKind::Wpt:
        case GpxKind::Rtept:
            placeName.reset(), placeDescription.reset(), placeComment.reset();
            readPosition(atts, local, place.lng, place.lat);
            break;
        case GpxKind::Rte:
            routeName.reset();
            break;
        case GpxKind::Trk:
            trackName.reset(), trackNumber.reset();
            break;
        case GpxKind::Trkseg:
            sink.segmentStart();
            break;
        case GpxKind::Trkpt:
            pointTime.reset();
            pointLine = line();
            readPosition(atts, local, point.lng, point.lat);
            break;
        default:
            break;
    }
}

void GpxReader::Impl::characters(const XML_Char* s, int len) {
    if (open.empty()) return;
    Open& e = open.back();
    if (e.text == Open::Text::Done) return;
    if (e.text == Open::Text::Cdata) {
        e.value.append(s, static_cast<size_t>(len));
        return;
    }
    e.text = Open::Text::Run;
    // White space written as a reference is a character like any other.
    const bool reference = len == 1 && isXmlSpace(s[0]) &&
                           XML_GetCurrentByteCount(parser) >= static_cast<int>(4 * unit);
    for (int i = 0; i < len; ++i) {
        if (!reference && isXmlSpace(s[i])) {
            e.space = !e.value.empty();
            continue;
        }
        if (e.space) e.value += ' ';
        e.space = false;
        e.value += s[i];
    }
}

// A child node that is not text: it is the first one unless text came before it.
void GpxReader::Impl::otherNode() {
    if (open.empty() || open.back().text == Open::Text::Done) return;
    Open& e = open.back();
    if (e.text == Open::Text::Run && isBlank(e.value)) e.value.clear();
    e.text = Open::Text::Done;
}

void GpxReader::Impl::cdata(bool begins) {
    if (open.empty()) return;
    Open& e = open.back();
    if (begins && e.text == Open::Text::Run && isBlank(e.value)) {
        e.value.clear();
        e.space = false;
        e.text = Open::Text::Waiting;
    }
    if (begins && e.text == Open::Text::Waiting)
        e.text = Open::Text::Cdata;
    else if (begins && e.text == Open::Text::Run)
        e.text = Open::Text::Done;
    else if (!begins && e.text == Open::Text::Cdata)
        e.text = Open::Text::Done;
}

void GpxReader::Impl::takeText(const Open& e) {
    const bool blank = e.text == Open::Text::Run && isBlank(e.value);
    const std::string text = e.text == Open::Text::Waiting || blank ? std::string() : e.value;
    const GpxKind parent = open[open.size() - 2].kind;
    const bool inPlace = parent == GpxKind::Wpt || parent == GpxKind::Rtept;
    auto slotFor = [&]() -> std::optional<std::string>* {
        switch (e.kind) {
            case GpxKind::Name:
                return parent == GpxKind::Gpx              ? &root.name
                       : parent == GpxKind::Metadata       ? &metadata.name
                       : parent == GpxKind::MetadataAuthor ? &metadata.author
                       : parent == GpxKind::Rte            ? &routeName
                       : parent == GpxKind::Trk            ? &trackName
                       : inPlace                           ? &placeName
                                                           : nullptr;
            case GpxKind::Desc:
                return parent == GpxKind::Gpx        ? &root.description
                       : parent == GpxKind::Metadata ? &metadata.description
                       : inPlace                     ? &placeDescription
                                                     : nullptr;
            case GpxKind::Cmt:
                return &placeComment;
            case GpxKind::Author:
                return &root.author;
            case GpxKind::Time:
                return &pointTime;
            default:
                return &trackNumber;
        }
    };
    std::optional<std::string>* slot = slotFor();
    if (slot == nullptr || slot->has_value()) return;
    const bool plain = e.kind == GpxKind::Time || e.kind == GpxKind::Number;
    *slot = plain ? text : ansi(text, e.line);
}

void GpxReader::Impl::endElement() {
    if (!error.empty() || done || open.empty()) return;
    const Open& e = open.back();
    if (collectsText(e.kind)) takeText(e);
    auto placeFound = [this] {
        GpxPlace found{place.lng, place.lat, placeName.value_or(""), placeDescription.value_or("")};
        if (found.description.empty()) found.description = placeComment.value_or("");
        return found;
    };
    switch (e.kind) {
        case GpxKind::Wpt:
            sink.waypoint(placeFound());
            break;
        case GpxKind::Rtept:
            sink.routePoint(placeFound());
            break;
        case GpxKind::Rte:
            sink.routeEnd(routeName.value_or(""));
            break;
        case GpxKind::Trkpt:
            point.timeMs = pointTime ? parseUtcTime(*pointTime) : std::nullopt;
            sink.trackPoint(point, pointLine);
            break;
        case GpxKind::Trk: {
            std::optional<int32_t> number;
            int32_t value = 0;
            const std::string digits = trackNumber.value_or("");
            auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size())
                number = value;
            sink.trackEnd(trackName.value_or(""), number);
            break;
        }
        default:
            break;
    }
    open.pop_back();
    depth.leave();
    // What follows the root element is not read.
    if (open.empty()) stop("");
}
