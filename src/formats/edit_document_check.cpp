// What the navigator will not show of a document, and the limits the page edits within.
#include <nlohmann/json.hpp>

#include "formats/edit_document.h"
#include "formats/edit_text.h"

namespace {

// Collects warnings up to the limit; the last one counts those beyond it.
class Warnings {
  public:
    void add(std::string field, std::string reason) {
        if (list_.size() + 1 < kMaxWarnings)
            list_.push_back({std::move(field), std::move(reason)});
        else
            ++beyond_;
    }
    void text(const std::string& field, std::u16string_view units, bool severalLines) {
        if (std::optional<UnshownText> unshown = unshownCharacters(units, severalLines))
            add(field, describeUnshown(*unshown));
    }
    template <size_t N>
    void field(const std::string& name, const std::array<char16_t, N>& f) {
        text(name, fixedFieldText(f.data(), N), false);
    }
    std::vector<EditWarning> take() {
        if (beyond_ > 0)
            list_.push_back({"", std::to_string(beyond_) + " more warnings of the same kinds"});
        return std::move(list_);
    }

  private:
    std::vector<EditWarning> list_;
    size_t beyond_ = 0;
};

void routeWarnings(const RouteBookData& route, Warnings& out) {
    out.field("route.author", route.header.author);
    out.field("route.startCity", route.header.startCity);
    out.field("route.endCity", route.header.endCity);
    out.text("route.headerText", route.header.headerText, true);
    for (size_t i = 0; i < route.records.size(); ++i) {
        const RouteRecord& r = *route.records[i];
        const std::string path = "route.records[" + std::to_string(i) + "].";
        out.field(path + "title", r.title);
        out.text(path + "text", r.content, true);
        out.text(path + "picture", r.img, false);
    }
}

// The navigator's track reader passes over points west of 0.001 E or south of 0.00001 N.
void trackWarnings(const StoredTrackFile& track, Warnings& out) {
    size_t hidden = 0;
    std::string first;
    for (size_t s = 0; s < track.segments.size(); ++s) {
        const TrackSegment& segment = track.segments[s];
        int32_t lng = segment.lng;
        int32_t lat = segment.lat;
        for (size_t p = 0; p < segment.steps.size(); ++p) {
            lng = trackSum(lng, segment.steps[p].dLng);
            lat = trackSum(lat, segment.steps[p].dLat);
            if (lng > 100 && lat > 1) continue;
            if (hidden++ == 0)
                first =
                    "track.segments[" + std::to_string(s) + "].points[" + std::to_string(p) + "]";
        }
    }
    if (hidden > 0)
        out.add(first, std::to_string(hidden) +
                           " track point(s) west of 0.001 E or south of 0.00001 N, which the "
                           "navigator does not show; this is the first");
}

}  // namespace

std::vector<EditWarning> navigatorWarnings(const EditDocument& document) {
    Warnings out;
    if (document.route) routeWarnings(*document.route, out);
    trackWarnings(document.track, out);
    return out.take();
}

std::string editLimitsJson() {
    namespace l = edit_limits;
    nlohmann::ordered_json j = {
        {"documentBytes", l::kDocumentBytes},
        {"depth", l::kDepth},
        {"records", l::kRecords},
        {"segments", l::kSegments},
        {"points", l::kPoints},
        {"titleUnits", l::kTitleUnits},
        {"authorUnits", l::kAuthorUnits},
        {"cityUnits", l::kCityUnits},
        {"textUnits", l::kTextUnits},
        {"pictureUnits", l::kPictureUnits},
        {"folderFiles", l::kFolderFiles},
        {"fileBytes", l::kFileBytes},
        {"fileNameUnits", l::kFileNameUnits},
        {"lng", {-l::kMaxLng, l::kMaxLng}},
        {"lat", {-l::kMaxLat, l::kMaxLat}},
        {"step", {INT16_MIN, INT16_MAX}},
        {"shownAbove", {{"lng", 100}, {"lat", 1}}},
    };
    return j.dump();
}
