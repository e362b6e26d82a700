#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/route_file.h"
#include "formats/track_file.h"
#include "formats/xml_bounds.h"

// GPX 1.1, the format other GPS tools read and write, both ways: a navigator track with its
// times as a track (one <trk> per line number), a route book's places as waypoints and its legs
// as a route. Coordinates are the navigator's units (0.00001 degree), which GPX carries exactly
// as degrees with five decimals. Text is ANSI here; the writer writes UTF-8.

struct GpxPlace {
    int32_t lng = 0;
    int32_t lat = 0;
    std::string name;
    std::string description;
};

struct GpxPoint {
    int32_t lng = 0;
    int32_t lat = 0;
    std::optional<int64_t> timeMs;  // milliseconds since 1970-01-01 UTC
};

struct GpxTrack {
    std::string name;
    std::optional<int32_t> number;
    std::vector<std::vector<GpxPoint>> segments;
};

struct GpxDocument {
    std::string name;
    std::string description;
    std::string author;
    std::vector<GpxPlace> waypoints;
    std::string routeName;
    std::vector<GpxPlace> routePoints;
    std::vector<GpxTrack> tracks;
};

// Whether GPX carries the position: latitude -90..90, longitude -180..180 with 180 itself
// excluded (it is -180).
bool gpxCanHold(int32_t lng, int32_t lat);

// The document as GPX 1.1 text (UTF-8). Places and points GPX cannot hold are left out.
std::string writeGpx(const GpxDocument& document, const std::string& creator);

// What reading left out or changed: how many, and where the first few were.
struct GpxLoss {
    static constexpr size_t kShown = 5;
    size_t count = 0;
    std::vector<std::string> first;  // "line 12", "U+1F600 at line 4"
    void add(std::string where);
    // "line 12, line 14, ..." for a message.
    std::string examples() const;
};

// What a GPX document holds, handed over in document order while it is read. Texts are ANSI.
class GpxSink {
  public:
    virtual ~GpxSink() = default;
    virtual void waypoint(GpxPlace place) = 0;
    virtual void routePoint(GpxPlace place) = 0;
    virtual void routeEnd(std::string name) = 0;
    virtual void segmentStart() = 0;
    // `line`: where the point stands in the file, 0 where there is no file.
    virtual void trackPoint(const GpxPoint& point, uint64_t line) = 0;
    virtual void trackEnd(std::string name, std::optional<int32_t> number) = 0;
    // The document's name, description and author, once it has been read whole.
    virtual void about(std::string name, std::string description, std::string author) = 0;
};

// Reads GPX 1.0 or 1.1 as a stream (expat, with its protection against entity expansion; no
// external entity is ever loaded), in any encoding a document may declare that the reader
// knows: UTF-8, UTF-16, ISO-8859-1, US-ASCII, GBK and GB2312. It refuses text that is not a
// GPX document, a place or point without a latitude and longitude GPX can hold, and text beyond
// its limits. Bytes that are not valid in the document's encoding are read as U+FFFD; they,
// and characters the ANSI code page cannot hold, become '?' in the texts and are counted.
class GpxReader {
  public:
    explicit GpxReader(GpxSink& sink, const XmlLimits& limits = kGpxLimits);
    ~GpxReader();
    GpxReader(const GpxReader&) = delete;
    GpxReader& operator=(const GpxReader&) = delete;

    // The next piece of the file; false once the document is refused (`error` says why).
    bool feed(std::string_view bytes);
    // After the last piece: false when the document is refused or incomplete.
    bool finish();
    const std::string& error() const;
    const GpxLoss& invalidText() const;
    const GpxLoss& unheldText() const;
    // The encoding the document declares ("UTF-8" when it declares none).
    const std::string& encoding() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The whole of `text` as a document. False, with the reason in `error`, as the reader refuses.
bool readGpx(const std::string& text, GpxDocument& document, std::string& error);

// "YYYY-MM-DDThh:mm:ss[.fff][Z|+hh:mm|-hh:mm]" as milliseconds since 1970 UTC; a time without a
// zone is UTC, as GPX says. Nothing for other text.
std::optional<int64_t> parseUtcTime(std::string_view text);

// A navigator route book as GPX: the Book record's title (else `name`), description and author,
// the Poi records as waypoints, the Line records as the route's points, and the track with the
// points' times where their segment has a start time.
GpxDocument routeBookToGpx(const RouteBookData& route, const std::vector<RecordedSegment>& track,
                           const std::string& name);

struct GpxImport {
    RouteBookData route;
    std::vector<TrackSegment> segments;
    size_t points = 0;  // track points written
    GpxLoss dropped;    // track points the navigator cannot show (west of 0.001 E or south of
                        // 0.00001 N), left out
};

// A route book named `name` from a GPX document as it is read: the track file's segments (a new
// one wherever a step or a time difference is too large for one record, or times start or stop)
// and a route file with a Book record (the track's length and middle point, the document's
// description), a Poi record per waypoint and a Line record per route point (one for the whole
// track when there is no route). Memory grows with the points kept, a few bytes each.
class GpxRouteBookBuilder : public GpxSink {
  public:
    explicit GpxRouteBookBuilder(std::string name) : name_(std::move(name)) {}
    void waypoint(GpxPlace place) override { waypoints_.push_back(std::move(place)); }
    void routePoint(GpxPlace place) override { routePoints_.push_back(std::move(place)); }
    void routeEnd(std::string) override {}
    void segmentStart() override { current_ = nullptr; }
    void trackPoint(const GpxPoint& point, uint64_t line) override;
    void trackEnd(std::string name, std::optional<int32_t> number) override;
    void about(std::string name, std::string description, std::string author) override;
    // Nothing when the document holds no track point the navigator can show.
    std::optional<GpxImport> finish();

  private:
    std::string name_;
    GpxImport out_;
    std::vector<GpxPlace> waypoints_;
    std::vector<GpxPlace> routePoints_;
    std::string description_;
    std::string author_;
    size_t tracks_ = 0;
    size_t trackSegments_ = 0;  // the first segment of the track being read
    TrackSegment* current_ = nullptr;
    GpxPoint previous_;
    std::optional<int64_t> previousTime_;
    std::optional<TrackPoint> lastKept_;
    double length_ = 0;
};

// The same for a document read whole.
std::optional<GpxImport> gpxToRouteBook(const GpxDocument& gpx, const std::string& name);

// Milliseconds since 1970 UTC as ISO 8601 ("2009-05-01T08:30:00Z", with ".250" where there are
// milliseconds).
std::string formatUtcTime(int64_t unixMs);
