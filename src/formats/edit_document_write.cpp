// The editing document written as JSON, with the keys in the order docs/edit-document.md lists
// them.
#include <nlohmann/json.hpp>

#include "formats/base64.h"
#include "formats/edit_document.h"
#include "formats/edit_text.h"
#include "platform/utf8_text.h"

namespace {

using Json = nlohmann::ordered_json;

// A text as a string, or as its UTF-16 units where they are no valid UTF-16 (a lone surrogate),
// which no JSON string can carry.
Json textValue(std::u16string_view units) {
    if (wellFormedUtf16(units)) return utf8::fromUtf16(units);
    Json list = Json::array();
    for (char16_t unit : units)
        list.push_back(static_cast<int>(unit));
    return list;
}

// A fixed field without the NULs that pad it.
template <size_t N>
Json fieldValue(const std::array<char16_t, N>& field) {
    return textValue(fixedFieldText(field.data(), N));
}

Json kindValue(RecordKind kind) {
    switch (kind) {
        case RecordKind::Book:
            return "book";
        case RecordKind::Poi:
            return "poi";
        case RecordKind::Line:
            return "line";
    }
    return static_cast<int>(kind);
}

Json recordJson(const RouteRecord& r) {
    Json j;
    j["kind"] = kindValue(r.kind);
    j["title"] = fieldValue(r.title);
    j["lng"] = r.lng;
    j["lat"] = r.lat;
    j["mileage"] = r.mileage;
    j["param1"] = r.param1;
    j["param2"] = r.param2;
    j["text"] = textValue(r.content);
    j["picture"] = textValue(r.img);
    return j;
}

Json routeJson(const EditDocument& document) {
    const RouteBookData& route = *document.route;
    const RouteHeader& h = route.header;
    Json j;
    j["version"] = h.version;
    if (h.magic != RouteHeader{}.magic) j["magic"] = fieldValue(h.magic);
    j["author"] = fieldValue(h.author);
    j["lastUpDate"] = h.lastUpDate;
    j["startCity"] = fieldValue(h.startCity);
    j["endCity"] = fieldValue(h.endCity);
    j["headerText"] = textValue(h.headerText);
    if (document.routeIndex == RouteIndex::Offsets) j["recordIndex"] = "offsets";
    if (document.routeIndex == RouteIndex::Kept) j["recordIndex"] = h.recordIndex;
    Json records = Json::array();
    for (const auto& r : route.records)
        records.push_back(recordJson(*r));
    j["records"] = std::move(records);
    if (!document.routeTrailing.empty()) j["trailing"] = base64Encode(document.routeTrailing);
    return j;
}

Json segmentJson(const TrackSegment& s) {
    Json j;
    j["lineId"] = s.lineId;
    const TrackDateTime& t = s.start;
    j["start"] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
    // The origin is the first point's position unless the first step moves away from it.
    const bool ownOrigin = s.steps.empty() ? (s.lng != 0 || s.lat != 0)
                                           : (s.steps[0].dLng != 0 || s.steps[0].dLat != 0);
    if (ownOrigin) j["origin"] = {s.lng, s.lat};
    if (s.marker != 1) j["marker"] = s.marker;
    if (s.reserved != decltype(s.reserved){}) j["reserved"] = s.reserved;
    Json points = Json::array();
    int32_t lng = s.lng;
    int32_t lat = s.lat;
    for (const TrackStep& step : s.steps) {
        lng = trackSum(lng, step.dLng);
        lat = trackSum(lat, step.dLat);
        Json p = {lng, lat, step.dTime};
        if (step.unused != 0 || step.dFifth != 0) {
            p.push_back(step.unused);
            p.push_back(step.dFifth);
        }
        points.push_back(std::move(p));
    }
    j["points"] = std::move(points);
    return j;
}

Json trackJson(const StoredTrackFile& track) {
    Json j;
    j["version"] = track.version;
    Json segments = Json::array();
    for (const TrackSegment& s : track.segments)
        segments.push_back(segmentJson(s));
    j["segments"] = std::move(segments);
    if (!track.trailing.empty()) j["trailing"] = base64Encode(track.trailing);
    return j;
}

}  // namespace

std::string writeEditDocument(const EditDocument& document) {
    Json j;
    j["format"] = kEditFormat;
    j["formatVersion"] = kEditFormatVersion;
    j["name"] = textValue(document.name);
    if (document.route) j["route"] = routeJson(document);
    j["track"] = trackJson(document.track);
    if (document.sim) j["sim"] = base64Encode(*document.sim);
    if (!document.folderFiles.empty()) {
        Json files = Json::array();
        for (const EditFile& f : document.folderFiles)
            files.push_back({{"name", textValue(f.name)}, {"data", base64Encode(f.bytes)}});
        j["folderFiles"] = std::move(files);
    }
    return j.dump();
}
