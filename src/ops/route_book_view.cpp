#include "ops/route_book_view.h"

#include <mutex>

#include "device/device_files.h"
#include "formats/route_book_xml.h"
#include "formats/route_file.h"
#include "formats/track_file.h"
#include "ops/decimal_text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/task_messages.h"

std::string showRoadbook(DeviceManager& device, const std::string& text) {
    int index = atoiSaturated(text);
    std::string name;
    {
        std::lock_guard<std::mutex> lock(device.routeBooksMutex);
        if (index < 0 || device.routeBooks.empty() ||
            static_cast<size_t>(index) >= device.routeBooks.size()) {
            postTaskStatus(2);
            return {};
        }
        name = device.routeBooks[static_cast<size_t>(index)]->fileName;
    }

    std::lock_guard<std::mutex> lock(device.routeDataMutex);
    RouteBookData& data = device.routeData;
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
