#include "formats/gpx.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "formats/text_encoding.h"
#include "formats/track_conversion.h"
#include "formats/xml_text.h"
#include "platform/clock.h"
#include "platform/codepage.h"

namespace {

constexpr int32_t kUnitsPerDegree = 100000;
constexpr int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

std::string_view withoutOuterSpace(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\n' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The `len` decimal digits at `pos` as a number; false when one is missing or no digit.
bool readDigits(std::string_view s, size_t pos, size_t len, int& out) {
    if (pos + len > s.size()) return false;
    out = 0;
    for (size_t i = pos; i < pos + len; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

// A fraction of a second at `pos` (".d..."), in milliseconds; digits past them are read over.
int64_t readFraction(std::string_view s, size_t& pos) {
    int64_t ms = 0;
    if (pos >= s.size() || s[pos] != '.') return 0;
    int64_t scale = 100;
    for (++pos; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos) {
        ms += (s[pos] - '0') * scale;
        scale /= 10;
    }
    return ms;
}

// The zone at `pos` ("Z", "+hh:mm", "-hh:mm" or none, which is UTC) in minutes east of UTC;
// nothing for a malformed offset.
std::optional<int64_t> readZone(std::string_view s, size_t& pos) {
    if (pos < s.size() && (s[pos] == 'Z' || s[pos] == 'z')) {
        ++pos;
        return 0;
    }
    if (pos >= s.size() || (s[pos] != '+' && s[pos] != '-')) return 0;
    int oh, om;
    if (!readDigits(s, pos + 1, 2, oh) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
        !readDigits(s, pos + 4, 2, om))
        return std::nullopt;
    const int64_t minutes = (s[pos] == '-' ? -1 : 1) * (oh * 60 + om);
    pos += 6;
    return minutes;
}

std::string degrees(int32_t units) {
    int64_t v = units;
    bool negative = v < 0;
    if (negative) v = -v;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%lld.%05lld", negative ? "-" : "",
                  static_cast<long long>(v / kUnitsPerDegree),
                  static_cast<long long>(v % kUnitsPerDegree));
    return buf;
}

// ANSI text as XML character data in UTF-8; control characters XML cannot hold are left out.
// Line breaks and tabs are written as references, which readers that fold white space keep.
void appendText(std::string& out, const std::string& ansi) {
    std::string clean;
    clean.reserve(ansi.size());
    for (char c : ansi)
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
            clean += c;
    std::string escaped;
    appendXmlEscaped(escaped, platform::ansiToUtf8(clean));
    for (char c : escaped) {
        if (c == '\n')
            out += "&#10;";
        else if (c == '\r')
            out += "&#13;";
        else if (c == '\t')
            out += "&#9;";
        else
            out += c;
    }
}

void appendElement(std::string& out, const char* tag, const std::string& ansi) {
    if (ansi.empty()) return;
    out += '<';
    out += tag;
    out += '>';
    appendText(out, ansi);
    out += "</";
    out += tag;
    out += '>';
}

void appendPointStart(std::string& out, const char* tag, int32_t lng, int32_t lat) {
    out += '<';
    out += tag;
    out += " lat=\"" + degrees(lat) + "\" lon=\"" + degrees(lng) + "\">";
}

void appendPlace(std::string& out, const char* tag, const GpxPlace& place) {
    appendPointStart(out, tag, place.lng, place.lat);
    appendElement(out, "name", place.name);
    appendElement(out, "desc", place.description);
    out += "</";
    out += tag;
    out += ">\n";
}

void appendMetadata(std::string& out, const GpxDocument& document) {
    if (document.name.empty() && document.description.empty() && document.author.empty()) return;
    out += "<metadata>";
    appendElement(out, "name", document.name);
    appendElement(out, "desc", document.description);
    if (!document.author.empty()) {
        out += "<author>";
        appendElement(out, "name", document.author);
        out += "</author>";
    }
    out += "</metadata>\n";
}

void appendRoute(std::string& out, const GpxDocument& document) {
    if (document.routePoints.empty()) return;
    out += "<rte>";
    appendElement(out, "name", document.routeName);
    out += '\n';
    for (const GpxPlace& place : document.routePoints)
        if (gpxCanHold(place.lng, place.lat)) appendPlace(out, "rtept", place);
    out += "</rte>\n";
}

void appendTrack(std::string& out, const GpxTrack& track) {
    out += "<trk>";
    appendElement(out, "name", track.name);
    if (track.number) appendElement(out, "number", std::to_string(*track.number));
    out += '\n';
    for (const auto& segment : track.segments) {
        out += "<trkseg>\n";
        for (const GpxPoint& p : segment) {
            if (!gpxCanHold(p.lng, p.lat)) continue;
            appendPointStart(out, "trkpt", p.lng, p.lat);
            if (p.timeMs) out += "<time>" + formatUtcTime(*p.timeMs) + "</time>";
            out += "</trkpt>\n";
        }
        out += "</trkseg>\n";
    }
    out += "</trk>\n";
}

template <size_t N>
void setField(std::array<char16_t, N>& field, const std::string& ansi, size_t maxUnits) {
    std::u16string wide = ansiToWideString(ansi);
    field.fill(u'\0');
    std::copy_n(wide.begin(), std::min({wide.size(), maxUnits, N}), field.begin());
}

std::unique_ptr<RouteRecord> newRecord(RecordKind kind, const std::string& title, size_t titleUnits,
                                       int32_t lng, int32_t lat, const std::string& content) {
    auto r = std::make_unique<RouteRecord>();
    r->kind = kind;
    setField(r->title, title, titleUnits);
    r->lng = lng;
    r->lat = lat;
    r->content = ansiToWideString(content);
    // The stored text ends at its first NUL.
    r->content.resize(std::min(r->content.size(), r->content.find(u'\0')));
    r->contentLength = static_cast<int32_t>(r->content.size());
    return r;
}

}  // namespace

bool gpxCanHold(int32_t lng, int32_t lat) {
    return lat >= -90 * kUnitsPerDegree && lat <= 90 * kUnitsPerDegree &&
           lng >= -180 * kUnitsPerDegree && lng < 180 * kUnitsPerDegree;
}

void GpxLoss::add(std::string where) {
    if (++count <= kShown) first.push_back(std::move(where));
}

std::string GpxLoss::examples() const {
    std::string out;
    for (const std::string& where : first)
        out += (out.empty() ? "" : ", ") + where;
    return count > first.size() ? out + ", ..." : out;
}

std::optional<int64_t> parseUtcTime(std::string_view s) {
    s = withoutOuterSpace(s);
    int year, month, day, hour, minute, second;
    if (!readDigits(s, 0, 4, year) || s.size() < 19 || s[4] != '-' || !readDigits(s, 5, 2, month) ||
        s[7] != '-' || !readDigits(s, 8, 2, day) || (s[10] != 'T' && s[10] != ' ') ||
        !readDigits(s, 11, 2, hour) || s[13] != ':' || !readDigits(s, 14, 2, minute) ||
        s[16] != ':' || !readDigits(s, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    size_t pos = 19;
    const int64_t ms = readFraction(s, pos);
    const std::optional<int64_t> offsetMinutes = readZone(s, pos);
    if (!offsetMinutes || pos != s.size()) return std::nullopt;
    int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return days * kMsPerDay + ((hour * 60 + minute) * 60 + second) * int64_t{1000} + ms -
           *offsetMinutes * 60000;
}

std::string formatUtcTime(int64_t unixMs) {
    int64_t days = (unixMs >= 0 ? unixMs : unixMs - (kMsPerDay - 1)) / kMsPerDay;
    int64_t inDay = unixMs - days * kMsPerDay;
    int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    int64_t seconds = inDay / 1000;
    char buf[48];
    int n = std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lld",
                          static_cast<long long>(y), m, d, static_cast<long long>(seconds / 3600),
                          static_cast<long long>(seconds / 60 % 60),
                          static_cast<long long>(seconds % 60));
    if (inDay % 1000 != 0)
        std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), ".%03lldZ",
                      static_cast<long long>(inDay % 1000));
    else
        std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "Z");
    return buf;
}

std::string writeGpx(const GpxDocument& document, const std::string& creator) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"";
    appendText(out, creator);
    out +=
        "\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    appendMetadata(out, document);
    for (const GpxPlace& place : document.waypoints)
        if (gpxCanHold(place.lng, place.lat)) appendPlace(out, "wpt", place);
    appendRoute(out, document);
    for (const GpxTrack& track : document.tracks)
        appendTrack(out, track);
    out += "</gpx>\n";
    return out;
}

GpxDocument routeBookToGpx(const RouteBookData& route, const std::vector<RecordedSegment>& track,
                           const std::string& name) {
    GpxDocument doc;
    auto text = [](const std::u16string& s) { return fieldToAnsi(s.data(), s.size()); };
    auto title = [](const RouteRecord& r) { return fieldToAnsi(r.title.data(), r.title.size()); };
    auto book = std::find_if(route.records.begin(), route.records.end(),
                             [](const auto& r) { return r->kind == RecordKind::Book; });
    doc.name = book != route.records.end() ? title(**book) : name;
    if (book != route.records.end()) {
        doc.description = text((*book)->content);
        doc.author = fieldToAnsi(route.header.author.data(), route.header.author.size());
    }
    for (const auto& r : route.records) {
        if (r->kind == RecordKind::Poi)
            doc.waypoints.push_back({r->lng, r->lat, title(*r), text(r->content)});
        else if (r->kind == RecordKind::Line)
            doc.routePoints.push_back({r->lng, r->lat, title(*r), text(r->content)});
    }
    if (!doc.routePoints.empty()) doc.routeName = doc.name;

    std::optional<int32_t> currentLine;
    for (const RecordedSegment& segment : track) {
        if (segment.points.empty()) continue;
        if (doc.tracks.empty() || currentLine != segment.lineId) {
            GpxTrack& t = doc.tracks.emplace_back();
            t.name = doc.name;
            // GPX track numbers are not negative.
            if (segment.lineId >= 0) t.number = segment.lineId;
            currentLine = segment.lineId;
        }
        std::optional<int64_t> start = trackTimeMs(segment.start);
        std::vector<GpxPoint>& points = doc.tracks.back().segments.emplace_back();
        points.reserve(segment.points.size());
        for (const RecordedPoint& p : segment.points) {
            GpxPoint point{p.point.lng, p.point.lat, std::nullopt};
            if (start) point.timeMs = *start + p.offsetMs;
            points.push_back(point);
        }
    }
    return doc;
}

namespace {

constexpr int64_t kMaxStep = std::numeric_limits<int16_t>::max();
constexpr int64_t kMaxStepMs = std::numeric_limits<uint16_t>::max();
constexpr uint16_t kUntimedStepMs = 1000;

// A new segment's start time and its first step: the header holds whole seconds of local time,
// the first step carries the rest.
uint16_t startSegmentAt(TrackSegment& segment, int64_t time) {
    segment.start = trackDateTimeAt(time);
    std::optional<int64_t> base = trackTimeMs(segment.start);
    // Installing a track fills in a first start time that has a zero field as missing: a start a
    // few seconds earlier keeps the recorded times.
    auto hasZero = [](const TrackDateTime& d) {
        return d.hour == 0 || d.minute == 0 || d.second == 0;
    };
    while (base && hasZero(segment.start) && time - (*base - 1000) <= kMaxStepMs) {
        *base -= 1000;
        segment.start = trackDateTimeAt(*base);
    }
    if (base && time >= *base && time - *base <= kMaxStepMs)
        return static_cast<uint16_t>(time - *base);
    segment.start = TrackDateTime{};
    return 0;
}

}  // namespace

void GpxRouteBookBuilder::trackPoint(const GpxPoint& p, uint64_t line) {
    // The navigator's reader keeps only points east of 0.001 E and north of 0.00001 N.
    if (p.lng <= 100 || p.lat <= 1) {
        out_.dropped.add("line " + std::to_string(line));
        return;
    }
    const int64_t kEarliestMs = daysFromCivil(1980, 1, 2) * kMsPerDay;
    const int64_t kLatestMs = daysFromCivil(2200, 1, 1) * kMsPerDay;
    int64_t dLng = int64_t{p.lng} - previous_.lng;
    int64_t dLat = int64_t{p.lat} - previous_.lat;
    std::optional<int64_t> time = p.timeMs;
    // A track file's dates run from 1980 on.
    if (time && (*time < kEarliestMs || *time > kLatestMs)) time.reset();
    bool fits = current_ != nullptr && std::llabs(dLng) <= kMaxStep &&
                std::llabs(dLat) <= kMaxStep && previousTime_.has_value() == time.has_value() &&
                (!time || (*time >= *previousTime_ && *time - *previousTime_ <= kMaxStepMs));
    if (fits) {
        uint16_t dTime = time ? static_cast<uint16_t>(*time - *previousTime_) : kUntimedStepMs;
        current_->steps.push_back({static_cast<int16_t>(dLng), static_cast<int16_t>(dLat), dTime});
    } else {
        current_ = &out_.segments.emplace_back();
        current_->lng = p.lng;
        current_->lat = p.lat;
        current_->steps.push_back({0, 0, time ? startSegmentAt(*current_, *time) : uint16_t{0}});
    }
    previous_ = p;
    previousTime_ = time;
    TrackPoint kept{p.lng, p.lat, 0};
    if (lastKept_)
        length_ += greatCircleDistance(lastKept_->lng * 1e-5, lastKept_->lat * 1e-5,
                                       kept.lng * 1e-5, kept.lat * 1e-5);
    lastKept_ = kept;
    ++out_.points;
}

void GpxRouteBookBuilder::trackEnd(std::string, std::optional<int32_t> number) {
    ++tracks_;
    // A track's number may follow its points.
    const int32_t lineId = number ? *number : static_cast<int32_t>(tracks_);
    for (size_t i = trackSegments_; i < out_.segments.size(); ++i)
        out_.segments[i].lineId = lineId;
    trackSegments_ = out_.segments.size();
    current_ = nullptr;
}

void GpxRouteBookBuilder::about(std::string, std::string description, std::string author) {
    description_ = std::move(description);
    author_ = std::move(author);
}

std::optional<GpxImport> GpxRouteBookBuilder::finish() {
    if (out_.points == 0) return std::nullopt;
    // The middle point, found again from the segments' steps.
    TrackPoint middle;
    size_t wanted = out_.points / 2;
    for (const TrackSegment& segment : out_.segments) {
        if (wanted >= segment.steps.size()) {
            wanted -= segment.steps.size();
            continue;
        }
        middle = {segment.lng, segment.lat, segment.lineId};
        for (size_t i = 1; i <= wanted; ++i) {
            middle.lng += segment.steps[i].dLng;
            middle.lat += segment.steps[i].dLat;
        }
        break;
    }
    const int32_t mileage =
        static_cast<int32_t>(std::min(length_, double{std::numeric_limits<int32_t>::max()}));

    RouteBookData& route = out_.route;
    setField(route.header.author, author_, route.header.author.size());
    platform::LocalTime today = platform::clock().localNow();
    route.header.lastUpDate = today.year * 10000 + today.month * 100 + today.day;
    // As a converted track: the 20th unit of the title stays NUL.
    auto book = newRecord(RecordKind::Book, name_, 19, middle.lng, middle.lat, description_);
    book->mileage = mileage;
    auto wholeTrack = newRecord(RecordKind::Line, name_, 19, middle.lng, middle.lat, {});
    wholeTrack->mileage = mileage;
    route.records.push_back(std::move(book));
    for (const GpxPlace& place : waypoints_)
        route.records.push_back(
            newRecord(RecordKind::Poi, place.name, 20, place.lng, place.lat, place.description));
    for (const GpxPlace& place : routePoints_)
        route.records.push_back(
            newRecord(RecordKind::Line, place.name, 20, place.lng, place.lat, place.description));
    if (routePoints_.empty()) route.records.push_back(std::move(wholeTrack));
    route.header.recordCount = static_cast<int32_t>(route.records.size());
    route.header.recordIndex.assign(route.records.size(), 0);
    return std::move(out_);
}

std::optional<GpxImport> gpxToRouteBook(const GpxDocument& gpx, const std::string& name) {
    GpxRouteBookBuilder builder(name);
    for (const GpxPlace& place : gpx.waypoints)
        builder.waypoint(place);
    for (const GpxPlace& place : gpx.routePoints)
        builder.routePoint(place);
    for (const GpxTrack& track : gpx.tracks) {
        for (const auto& points : track.segments) {
            builder.segmentStart();
            for (const GpxPoint& p : points)
                builder.trackPoint(p, 0);
        }
        builder.trackEnd(track.name, track.number);
    }
    builder.about(gpx.name, gpx.description, gpx.author);
    return builder.finish();
}
