#include "ops/route_book_view.h"

#include <optional>

#include "common/task_status.h"
#include "device/device_files.h"
#include "formats/route_book_xml.h"
#include "formats/route_file.h"
#include "formats/track_file.h"
#include "ops/decimal_text.h"
#include "ops/route_book_list.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

// Reads route book `name` into `data` and writes its document; `data` is held locked.
std::string viewLocked(NavigatorState& device, RouteBookData& data, const std::string& name) {
    data.clearRouteBookData();
    const std::string& root = device.dataRoot;
    std::string track = root + name + ".trk";
    bool remote = device.mode == RapiDevice;
    std::string route = root + name + (remote ? '\\' : platform::kPathSeparator) + name + ".rut";
    if (remote) {
        // Removed before each copy too: a stale file must not pass for a route book whose
        // file could not be copied.
        std::string temp = platform::privateFile("lushu.tmp");
        platform::deleteFile(temp);
        copyFromDevice(device.rapi, track, temp);
        readTrackFile(data, temp);
        platform::deleteFile(temp);
        if (copyFromDevice(device.rapi, route, temp)) data.readRouteFile(temp);
        platform::deleteFile(temp);
    } else {
        readTrackFile(data, track);
        data.readRouteFile(route);
    }
    std::string out;
    writeRouteBookXml(data, out, name);
    return out;
}

}  // namespace

std::string showRoadbook(NavigatorState& device, const std::string& text) {
    std::optional<std::string> name = fileNameAt(device, atoiSaturated(text));
    if (!name) {
        postTaskStatus(TaskStatus::UnknownError);
        return {};
    }
    return device.routeData.use(
        [&](RouteBookData& data) { return viewLocked(device, data, *name); });
}
