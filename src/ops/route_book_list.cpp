#include "ops/route_book_list.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "device/device_connection.h"
#include "device/device_files.h"
#include "device/device_names.h"
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
bool nameTaken(NavigatorState& device, const std::string& root, const std::string& name) {
    if (isDeviceRoot(root)) {
        auto found = findDeviceFiles(device.rapi, root + name);
        return found && !found->empty();
    }
    // A drive's file system may tell letter case apart where the navigator's does not.
    auto entries = platform::listFolder(root);
    return entries && std::any_of(entries->begin(), entries->end(),
                                  [&](const auto& e) { return sameDeviceName(e.name, name); });
}

// Both take the list as use() hands it over, locked.
int scanLocked(NavigatorState& device, RouteBookEntries& list) {
    list.clear();
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
        list.push_back(std::make_unique<RouteBookEntry>(RouteBookEntry{"", b.name}));

    for (auto& entry : list) {
        entry->title = fetchRouteBookTitle(device, entry->fileName);
        if (entry->title.empty()) entry->title = entry->fileName;
        if (entry->title == entry->fileName) continue;
        // A title that cannot be a file name there, or that another route book's files already
        // carry, is shown as it is; the files keep their name so that the route book can still
        // be viewed and deleted, and no other route book is overwritten.
        if (!isRouteBookFileName(root, entry->title)) continue;
        if (nameTaken(device, root, entry->title + ".trk") || nameTaken(device, root, entry->title))
            continue;
        // A rename that could not be made whole was taken back: the files keep their name.
        if (renameRouteBook(device.rapi, root, entry->fileName, entry->title))
            entry->fileName = entry->title;
    }
    return 1;
}

std::string buildLocked(const RouteBookEntries& list) {
    char head[96];
    std::snprintf(head, sizeof head,
                  "<?xml version=\"1.0\" encoding=\"GBK\" ?><rblist count=\"%d\" page=\"1\">",
                  static_cast<int>(list.size()));
    std::string out = head;
    for (size_t i = list.size(); i-- > 0;) {
        out += "<rb><title>";
        appendXmlEscaped(out, list[i]->title);
        out += "</title><rbid>";
        out += std::to_string(i);
        out += "</rbid></rb>";
    }
    out += "</rblist>";
    return out;
}

}  // namespace

std::string connToPDA(NavigatorState& device, const std::string& text) {
    return device.routeBooks.use([&](RouteBookEntries& list) {
        if (list.empty() || (!text.empty() && text[0] == 'r')) scanLocked(device, list);
        return buildLocked(list);
    });
}

int scanRouteBooks(NavigatorState& device) {
    return device.routeBooks.use([&](RouteBookEntries& list) { return scanLocked(device, list); });
}

std::string buildRouteBookList(NavigatorState& device) {
    return device.routeBooks.use([](const RouteBookEntries& list) { return buildLocked(list); });
}

std::string fetchRouteBookTitle(NavigatorState& device, const std::string& name) {
    const std::string& root = device.dataRoot;
    std::string route = root + name + separatorFor(root) + name + ".rut";
    if (device.mode != RapiDevice) return readFirstRecordTitle(route);
    std::string local = platform::privateFile("tmp.rut");
    std::string title;
    if (copyFromDevice(device.rapi, route, local)) title = readFirstRecordTitle(local);
    platform::deleteFile(local);
    return title;
}

std::optional<std::string> fileNameAt(NavigatorState& device, long long rbid) {
    return device.routeBooks.use(
        [rbid](const RouteBookEntries& list) -> std::optional<std::string> {
            if (rbid < 0 || static_cast<unsigned long long>(rbid) >= list.size())
                return std::nullopt;
            return list[static_cast<size_t>(rbid)]->fileName;
        });
}

void clearRouteBooks(NavigatorState& device) {
    device.routeBooks.use([](RouteBookEntries& list) { list.clear(); });
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
    // The longest path of the set, with room for the name its replacement is written under:
    // root + title + separator + title + ".rut" + suffix.
    return root.size() + 2 * title.size() + 5 + kDeviceReplaceSuffixLength <= kMaxSearchPath;
}
