#include "formats/track_conversion.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "formats/text_encoding.h"
#include "formats/track_file.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292222222222;
constexpr double kEarthDiameter = 12742001.5798544;
constexpr double kDegreesPerUnit = 0.00001;
constexpr int32_t kDefaultLng = 11600000;
constexpr int32_t kDefaultLat = 3900000;
constexpr int32_t kMileageWithoutTrack = 100;

const char16_t kUnknownAuthor[] = u"佚名";
const char16_t kCompany[] = u"北京Korvel软件技术有限公司";
const char16_t kIncompleteNotice[] =
    u"尊敬的用户，您好。这条轨迹不是完整的路书，请您选择适当工具编辑成路书。";

template <size_t N>
void setField(std::array<char16_t, N>& field, std::u16string_view text) {
    field.fill(u'\0');
    std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

}  // namespace

double greatCircleDistance(double lng1, double lat1, double lng2, double lat2) {
    lng1 *= kRadiansPerDegree;
    lat1 *= kRadiansPerDegree;
    lng2 *= kRadiansPerDegree;
    lat2 *= kRadiansPerDegree;
    double x1 = std::cos(lat1) * std::cos(lng1);
    double y1 = std::cos(lat1) * std::sin(lng1);
    double z1 = std::sin(lat1);
    double x2 = std::cos(lat2) * std::cos(lng2);
    double y2 = std::cos(lat2) * std::sin(lng2);
    double z2 = std::sin(lat2);
    double chord = std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2) + (z1 - z2) * (z1 - z2));
    // Keeps asin defined should rounding ever take the half chord past 1.
    return kEarthDiameter * std::asin(std::min(chord * 0.5, 1.0));
}

int measureTrack(RouteBookData& data, const std::string& trackPath, TrackPoint& position) {
    if (readTrackFile(data, trackPath) == 0 || data.points.empty()) return 0;
    const auto& points = data.points;
    position = points[points.size() / 2];
    double length = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        length += greatCircleDistance(
            points[i].lng * kDegreesPerUnit, points[i].lat * kDegreesPerUnit,
            points[i + 1].lng * kDegreesPerUnit, points[i + 1].lat * kDegreesPerUnit);
    // Only a damaged track reaches two million kilometres.
    return static_cast<int>(std::min(length, double{std::numeric_limits<int32_t>::max()}));
}

int convertTrackToRouteBook(RouteBookData& data, const std::string& routePath,
                            const std::string& name, const std::string* trackPath) {
    data.clearRouteBookData();
    TrackPoint position{kDefaultLng, kDefaultLat, 0};
    int32_t mileage = kMileageWithoutTrack;
    if (trackPath != nullptr) mileage = measureTrack(data, *trackPath, position);

    RouteHeader& h = data.header;
    setField(h.author, kUnknownAuthor);
    setField(h.startCity, u"StartPos");
    setField(h.endCity, u"EndPos");
    h.headerText = kCompany;
    h.headerTextLength = static_cast<int32_t>(h.headerText.size());
    h.recordCount = 2;
    h.recordIndex.assign(2, 0);

    std::unique_ptr<char16_t[]> wideName = toWideBuffer(name.c_str());
    auto book = std::make_unique<RouteRecord>();
    setField(book->title, wideName.get());
    book->kind = RecordKind::Book;
    book->mileage = mileage;
    book->lng = position.lng;
    book->lat = position.lat;
    auto line = std::make_unique<RouteRecord>(*book);
    line->kind = RecordKind::Line;
    book->content = kIncompleteNotice;
    book->contentLength = static_cast<int32_t>(book->content.size());
    data.records.push_back(std::move(book));
    data.records.push_back(std::move(line));

    data.writeRouteFile(routePath);
    return 1;
}
