#include "ops/route_book_list.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "device/device_connection.h"
#include "device/device_files.h"
#include "formats/route_file.h"
#include "formats/xml_text.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

bool isDeviceRoot(const std::string& root) {
    return !root.empty() && root[0] == '\\';
}

char separatorFor(const std::string& root) {
    return isDeviceRoot(root) ? '\\' : platform::kPathSeparator;
}

// A file or folder of that name exists in `root` (the device compares names without regard to
// letter case).
bool nameTaken(DeviceManager& device, const std::string& root, const std::string& name) {
    if (isDeviceRoot(root)) {
        auto found = findDeviceFiles(device.rapi, root + name);
        return found && !found->empty();
    }
    std::string path = root + name;
    return platform::fileExists(path) || platform::folderExists(path);
}

void clearLocked(DeviceManager& device) {
    device.routeBooks.clear();
}

int scanLocked(DeviceManager& device) {
    clearLocked(device);
    const std::string& root = device.dataRoot;
    std::string pattern = root + "*.trk";
    auto found = device.mode == RapiDevice ? findDeviceFiles(device.rapi, pattern)
                                           : platform::findFiles(pattern);
    if (!found) return 0;

    struct Found {
        std::string name;
        platform::FileTime time;
    };
    std::vector<Found> books;
    for (const platform::FolderEntry& e : *found) {
        if (e.name.empty() || e.name[0] == '.' || e.name.size() < 4) continue;
        books.push_back({e.name.substr(0, e.name.size() - 4), e.lastWriteTime});
    }
    std::stable_sort(books.begin(), books.end(),
                     [](const Found& a, const Found& b) { return a.time < b.time; });
    for (const Found& b : books)
        device.routeBooks.push_back(std::make_unique<RouteBookEntry>(RouteBookEntry{"", b.name}));

    for (auto& entry : device.routeBooks) {
        entry->title = fetchRouteBookTitle(device, entry->fileName);
        if (entry->title.empty()) entry->title = entry->fileName;
        if (entry->title == entry->fileName) continue;
        // A title that cannot be a file name there, or that another route book's files already
        // carry, is shown as it is; the files keep their name so that the route book can still
        // be viewed and deleted, and no other route book is overwritten.
        if (!isRouteBookFileName(root, entry->title)) continue;
        if (nameTaken(device, root, entry->title + ".trk") || nameTaken(device, root, entry->title))
            continue;
        renameRouteBook(device.rapi, root, entry->fileName, entry->title);
        entry->fileName = entry->title;
    }
    return 1;
}

std::string buildLocked(const DeviceManager& device) {
    char head[96];
    std::snprintf(head, sizeof head,
                  "<?xml version=\"1.0\" encoding=\"GBK\" ?><rblist count=\"%d\" page=\"1\">",
                  static_cast<int>(device.routeBooks.size()));
    std::string out = head;
    for (size_t i = device.routeBooks.size(); i-- > 0;) {
        out += "<rb><title>";
        appendXmlEscaped(out, device.routeBooks[i]->title);
        out += "</title><rbid>";
        out += std::to_string(i);
        out += "</rbid></rb>";
    }
    out += "</rblist>";
    return out;
}

}  // namespace

std::string connToPDA(DeviceManager& device, const std::string& text) {
    std::lock_guard<std::mutex> lock(device.routeBooksMutex);
    if (device.routeBooks.empty() || (!text.empty() && text[0] == 'r')) scanLocked(device);
    return buildLocked(device);
}

int scanRouteBooks(DeviceManager& device) {
    std::lock_guard<std::mutex> lock(device.routeBooksMutex);
    return scanLocked(device);
}

std::string buildRouteBookList(DeviceManager& device) {
    std::lock_guard<std::mutex> lock(device.routeBooksMutex);
    return buildLocked(device);
}

std::string fetchRouteBookTitle(DeviceManager& device, const std::string& name) {
    const std::string& root = device.dataRoot;
    std::string route = root + name + separatorFor(root) + name + ".rut";
    if (device.mode != RapiDevice) return readFirstRecordTitle(route);
    std::string local = platform::privateFile("tmp.rut");
    std::string title;
    if (copyFromDevice(device.rapi, route, local)) title = readFirstRecordTitle(local);
    platform::deleteFile(local);
    return title;
}

void clearRouteBooks(DeviceManager& device) {
    std::lock_guard<std::mutex> lock(device.routeBooksMutex);
    clearLocked(device);
}

bool isRouteBookFileName(const std::string& root, const std::string& title) {
    if (title.empty() || title == "." || title == "..") return false;
    // Checked on the UTF-16 form: a GBK trail byte may look like '\' or '|'.
    std::u16string wide = platform::ansiToUtf16(title);
    for (char16_t c : wide) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) return false;
    }
    if (wide.back() == u'.' || wide.back() == u' ') return false;
    // The longest path of the set: root + title + separator + title + ".rut".
    return root.size() + 2 * title.size() + 5 <= kMaxSearchPath;
}
