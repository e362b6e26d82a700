#include "ops/route_book_view.h"

#include <optional>

#include "common/task_status.h"
#include "device/device_files.h"
#include "formats/gpx.h"
#include "formats/route_book_xml.h"
#include "formats/route_file.h"
#include "formats/track_file.h"
#include "ops/decimal_text.h"
#include "ops/route_book_list.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

// Calls `use` with local paths of route book `name`'s track and route files: the files
// themselves on a navigator's drive, copies in the private folder over the remote API.
template <typename Use>
void withLocalFiles(NavigatorState& device, const std::string& name, Use use) {
    const std::string& root = device.dataRoot;
    std::string track = root + name + ".trk";
    bool remote = device.mode == RapiDevice;
    std::string route = root + name + (remote ? '\\' : platform::kPathSeparator) + name + ".rut";
    if (!remote) {
        use(track, route);
        return;
    }
    // Removed before each copy too: a stale file must not pass for a route book whose file could
    // not be copied.
    const std::string trackCopy = platform::privateFile("lushu.tmp");
    const std::string routeCopy = platform::privateFile("lushu-route.tmp");
    platform::deleteFile(trackCopy);
    platform::deleteFile(routeCopy);
    copyFromDevice(device.rapi, track, trackCopy);
    copyFromDevice(device.rapi, route, routeCopy);
    use(trackCopy, routeCopy);
    platform::deleteFile(trackCopy);
    platform::deleteFile(routeCopy);
}

// Reads route book `name` into `data` and writes its document; `data` is held locked.
std::string viewLocked(NavigatorState& device, RouteBookData& data, const std::string& name) {
    data.clearRouteBookData();
    withLocalFiles(device, name, [&](const std::string& track, const std::string& route) {
        readTrackFile(data, track);
        data.readRouteFile(route);
    });
    std::string out;
    writeRouteBookXml(data, out, name);
    return out;
}

}  // namespace

std::string showRoadbook(NavigatorState& device, const std::string& text) {
    std::optional<std::string> name = fileNameAt(device, atoiSaturated(text));
    if (!name) {
        device.seat.postStatus(TaskStatus::UnknownError);
        return {};
    }
    return device.routeData.use(
        [&](RouteBookData& data) { return viewLocked(device, data, *name); });
}

std::optional<std::string> routeBookGpx(NavigatorState& device, const std::string& name,
                                        const std::string& creator) {
    std::optional<std::string> text;
    withLocalFiles(device, name, [&](const std::string& track, const std::string& route) {
        std::optional<std::vector<RecordedSegment>> recorded = readRecordedTrack(track);
        if (!recorded) return;
        // A recorded track has no route file: its GPX holds the track alone.
        RouteBookData data;
        data.readRouteFile(route);
        text = writeGpx(routeBookToGpx(data, *recorded, name), creator);
    });
    return text;
}
