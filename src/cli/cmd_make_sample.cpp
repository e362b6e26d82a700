#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "formats/route_file.h"
#include "formats/sample_track.h"
#include "formats/track_file.h"
#include "ops/poi_store.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace cli {

namespace {

std::u16string wide(const char* utf8) {
    return platform::ansiToUtf16(platform::utf8ToAnsi(utf8));
}

template <size_t N>
std::array<char16_t, N> field(const char* utf8) {
    std::array<char16_t, N> out{};
    std::u16string text = wide(utf8);
    for (size_t i = 0; i < text.size() && i < N; ++i)
        out[i] = text[i];
    return out;
}

std::unique_ptr<RouteRecord> record(RecordKind kind, const char* title, int32_t lng, int32_t lat,
                                    const char* content) {
    auto r = std::make_unique<RouteRecord>();
    r->title = field<20>(title);
    r->kind = kind;
    r->lng = lng;
    r->lat = lat;
    r->content = wide(content);
    r->contentLength = static_cast<int32_t>(r->content.size());
    return r;
}

// A recorded drive of `count` points from (lng, lat) on `day` of May 2009.
std::vector<TrackSegment> track(int32_t lng, int32_t lat, int count, int32_t lineId, uint16_t day) {
    SampleDriveOptions options;
    options.points = static_cast<size_t>(count);
    options.seed = static_cast<uint32_t>(day);
    options.startLng = lng;
    options.startLat = lat;
    options.start = TrackDateTime{2009, 5, day, 8, 30, 0};
    std::vector<TrackSegment> segments = sampleDrive(options);
    for (TrackSegment& segment : segments)
        segment.lineId = lineId;
    return segments;
}

// The position reached after `fraction` of a drive's steps, so that a route book's places and
// legs lie on its track.
TrackPoint along(const std::vector<TrackSegment>& segments, double fraction) {
    size_t total = 0;
    for (const TrackSegment& segment : segments)
        total += segment.steps.size();
    size_t wanted = static_cast<size_t>(fraction * static_cast<double>(total));
    TrackPoint at{segments.empty() ? 0 : segments.front().lng,
                  segments.empty() ? 0 : segments.front().lat, 0};
    for (const TrackSegment& segment : segments) {
        at.lng = segment.lng;
        at.lat = segment.lat;
        for (const TrackStep& step : segment.steps) {
            at.lng += step.dLng;
            at.lat += step.dLat;
            if (wanted-- == 0) return at;
        }
    }
    return at;
}

platform::FileTime fileTimeOfDay(int day) {
    // 2009-05-01 00:00 UTC, in 100 ns units since 1601.
    constexpr uint64_t kMay2009 = (1241136000ULL + 11644473600ULL) * 10000000ULL;
    return kMay2009 + static_cast<uint64_t>(day) * 86400ULL * 10000000ULL;
}

struct Sample {
    std::string folder;
    bool ok = true;

    void writeTrack(const std::string& name, const std::vector<TrackSegment>& segments, int day) {
        std::string path = folder + name + ".trk";
        ok = writeTrackFile(path, kLongTrackVersion, segments) == 1 && ok;
        ok = platform::writeWholeFile(folder + name + ".sim", std::string(16, '\0')) && ok;
        platform::File f(path, platform::OpenMode::ReadWriteExisting);
        ok = f.isOpen() && f.setTimes(fileTimeOfDay(day)) && ok;
    }

    void writeRoute(const std::string& name, const RouteBookData& data) {
        std::string sub = folder + name;
        ok = platform::createFolder(sub) && ok;
        std::string base = platform::joinPath(sub, name);
        ok = data.writeRouteFile(base + ".rut") == 1 && ok;
        ok = platform::writeWholeFile(base + ".tps", std::string(8, '\0')) && ok;
    }
};

RouteBookData routeBook(const char* title, const char* description, const char* author,
                        const char* from, const char* to, const std::vector<TrackSegment>& drive) {
    RouteBookData data;
    data.header.author = field<32>(author);
    data.header.startCity = field<10>(from);
    data.header.endCity = field<10>(to);
    TrackPoint start = along(drive, 0), gate = along(drive, 0.3), leg1 = along(drive, 0.1),
               leg2 = along(drive, 0.6);
    auto book = record(RecordKind::Book, title, start.lng, start.lat, description);
    book->mileage = 23000;
    data.records.push_back(std::move(book));
    data.records.push_back(record(RecordKind::Poi, "Gate", gate.lng, gate.lat, "The main gate"));
    data.records.push_back(record(RecordKind::Line, "Leg 1", leg1.lng, leg1.lat, "North"));
    data.records.push_back(record(RecordKind::Line, "Leg 2", leg2.lng, leg2.lat, "East"));
    data.header.recordCount = static_cast<int32_t>(data.records.size());
    data.header.recordIndex.assign(data.records.size(), 0);
    return data;
}

void addPlace(PoiStore& store, const char* name, int32_t lng, int32_t lat, int32_t type, int day) {
    PoiRecord r(PoiStore::recordSize(store.header.version), 0);
    PoiStore::setRecordInt(r, PoiStore::kTypeOffset, type);
    PoiStore::setRecordInt(r, PoiStore::kIconOffset, type + 1);
    PoiStore::setRecordInt(r, PoiStore::kLngOffset, lng);
    PoiStore::setRecordInt(r, PoiStore::kLatOffset, lat);
    PoiStore::setRecordInt(r, PoiStore::kShowNameOffset, 1);
    std::u16string text = wide(name);
    for (size_t u = 0; u < text.size() && u < PoiStore::kMaxNameUnits; ++u) {
        r[PoiStore::kNameOffset + 2 * u] = static_cast<uint8_t>(text[u] & 0xFF);
        r[PoiStore::kNameOffset + 2 * u + 1] = static_cast<uint8_t>(text[u] >> 8);
    }
    const int32_t time[6] = {2009, 5, day, 18, 4, 9};
    for (size_t f = 0; f < 6; ++f)
        PoiStore::setRecordInt(r, PoiStore::kTimeOffsetV4 + 4 * f, time[f]);
    store.records.push_back(std::move(r));
    store.header.count = static_cast<int32_t>(store.records.size());
}

// The route books and recorded tracks of the sample, into the track folder.
bool writeTracks(const std::string& trackFolder) {
    Sample sample{platform::joinPath(trackFolder, "")};
    auto day1 = track(11639000, 3990000, 300, 1, 1);
    sample.writeTrack("Day1", day1, 1);
    sample.writeRoute("Day1",
                      routeBook("Day1", "A day in the old town", "Li", "Beijing", "Beijing", day1));

    std::string chinese = platform::utf8ToAnsi("长城一日游");
    auto greatWall = track(11601000, 4035000, 900, 2, 2);
    sample.writeTrack(chinese, greatWall, 2);
    sample.writeRoute(
        chinese, routeBook("长城一日游", "八达岭长城，往返一天", "王", "北京", "延庆", greatWall));

    // A route book whose route file carries another title than its file name: listing renames
    // its files to the title.
    auto lake = track(12015000, 3025000, 120, 3, 3);
    sample.writeTrack("RB0003", lake, 3);
    sample.writeRoute("RB0003", routeBook("西湖", "Around the lake", "Zhao", "杭州", "杭州", lake));

    // Recorded tracks without a route file of their own.
    sample.writeTrack("Track0504", track(11645000, 3993000, 60, 0, 4), 4);
    sample.writeTrack("Track0505", track(11650000, 3994000, 1500, 0, 5), 5);
    return sample.ok;
}

bool writePlaces(const std::string& poiFolder) {
    PoiStore store;
    store.header.version = 4;
    addPlace(store, "Home", 11600000, 3900000, 3, 6);
    addPlace(store, "公司", 11645500, 3991500, 7, 7);
    addPlace(store, "Gate & garden <east>", 11639200, 3990100, 1, 8);
    return store.writePoiStore(platform::joinPath(poiFolder, "address.poi")) == 0;
}

int runMakeSample(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: vantu-cli make-sample ROOT\n");
        return 2;
    }
    std::optional<std::string> given = localPath(args[0], "make-sample");
    if (!given) return kExitFile;
    std::string root = platform::joinPath(*given, "");
    std::string card = root + "Storage Card";
    std::string userdata = platform::joinPath(card, "userdata");
    std::string trackFolder = platform::joinPath(userdata, "track");
    std::string poiFolder = platform::joinPath(userdata, "poi");
    bool ok = true;
    for (const std::string& f :
         {root, card, userdata, trackFolder, poiFolder, root + "My Documents", root + "Windows"})
        ok = platform::createFolder(f) && ok;
    ok = writeTracks(trackFolder) && ok;
    ok = writePlaces(poiFolder) && ok;
    if (!ok) {
        std::fprintf(stderr, "vantu-cli make-sample: could not write all files below %s\n",
                     args[0].c_str());
        return 1;
    }
    std::printf("%s\n", toTerminal(platform::joinPath(trackFolder, "")).c_str());
    return 0;
}

const CliCommand kMakeSample({
    "make-sample",
    "make-sample ROOT",
    "fill a simulated navigator's storage card with sample route books, tracks and places",
    "Writes, below ROOT, a navigator's root folder for the simulator (scripts/navsim-run):\n"
    "\"Storage Card\" (mounted storage) with userdata/track holding route books (one with a\n"
    "Chinese name, one whose route file's title differs from its file name), two recorded\n"
    "tracks without route file, and userdata/poi/address.poi with three places; plus the main\n"
    "store folders \"My Documents\" and \"Windows\". Files are written with the program's own\n"
    "writers. Prints the track folder.\n\n"
    "Example:\n"
    "  vantu-cli make-sample /tmp/nav\n"
    "  scripts/navsim-run /tmp/nav vantu-cli call connToPDA r\n",
    runMakeSample,
});

}  // namespace
}  // namespace cli
