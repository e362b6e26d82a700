#include "ops/poi_operations.h"

#include <tinyxml.h>

#include <cstdio>
#include <iterator>
#include <vector>

#include "common/task_status.h"
#include "device/device_connection.h"
#include "device/device_files.h"
#include "formats/xml_bounds.h"
#include "formats/xml_text.h"
#include "ops/decimal_text.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/paths.h"

namespace {

struct PoiPaths {
    std::string folder;  // no trailing separator
    std::string store;
    char separator;
};

// poi\address.poi beside the track folder: dataRoot less "track" and its separator.
PoiPaths poiPaths(const NavigatorState& device) {
    char separator = device.mode == RapiDevice ? '\\' : platform::kPathSeparator;
    const std::string& root = device.dataRoot;
    std::string parent = root.size() >= 6 ? root.substr(0, root.size() - 6) : std::string();
    std::string folder = parent + "poi";
    return {folder, folder + separator + "address.poi", separator};
}

std::string tempStore() {
    return platform::privateFile("temp.poi");
}

// A store too large for any count is not copied at all: the copy would hold the window.
bool deviceStoreTooLarge(RapiBinding& rapi, const std::string& path) {
    auto found = findDeviceFiles(rapi, path);
    return found && found->size() == 1 &&
           (*found)[0].size > static_cast<uint64_t>(PoiStore::kMaxFileSize);
}

// The shared procedure of poiToPDA and deleteSelectedPoi. Only a store that was read whole and
// whose layout is known is written back, and then as a complete new file that replaces the old
// one in one step: a store cut short, of an unknown layout or refused as too large would
// otherwise be rewritten as its header and the records read, and a write that fails part way
// would leave it cut short.
template <class Edit>
void changeStore(NavigatorState& device, TaskStatus failureCode, Edit edit) {
    PoiStore& store = device.poiStore;
    PoiPaths paths = poiPaths(device);
    const bool remote = device.mode == RapiDevice;
    const std::string temp = tempStore();
    int read = 0;
    if (remote) {
        if (deviceStoreTooLarge(device.rapi, paths.store) ||
            !copyFromDevice(device.rapi, paths.store, temp)) {
            platform::deleteFile(temp);
            device.seat.postStatus(failureCode);
            return;
        }
        read = store.readPoiStore(temp);
        platform::deleteFile(temp);
    } else {
        read = store.readPoiStore(paths.store);
    }
    // A layout the program does not know takes no change, as the edits themselves say.
    if (read == 1) return;
    if (read != 0) {
        device.seat.postStatus(failureCode);
        return;
    }
    // A refused text or id changes nothing, so there is nothing to write.
    if (edit(store) != 1) return;
    platform::deleteFile(temp);
    bool written = store.writePoiStore(temp) == 0 &&
                   (remote ? copyToDevice(device.rapi, temp, paths.store) != 0
                           : platform::replaceWithCopy(temp, paths.store));
    platform::deleteFile(temp);
    if (!written) device.seat.postStatus(failureCode);
}

}  // namespace

std::string poiStorePath(const NavigatorState& device) {
    return poiPaths(device).store;
}

std::string getPdaAddr(NavigatorState& device) {
    PoiStore& store = device.poiStore;
    PoiPaths paths = poiPaths(device);
    if (device.mode == RapiDevice) {
        RapiBinding& rapi = device.rapi;
        std::string temp = tempStore();
        bool folderUsable = probeDeviceFolder(rapi, paths.folder + "\\") != 0;
        if (folderUsable && deviceStoreTooLarge(rapi, paths.store)) return {};
        if (folderUsable && copyFromDevice(rapi, paths.store, temp)) {
            store.readPoiStore(temp);
            platform::deleteFile(temp);
            return buildPoiListXml(store);
        }
        platform::deleteFile(temp);
        if (!deviceEntryExists(rapi, paths.store)) {
            if (!folderUsable) deviceCreateFolder(rapi, paths.folder);
            store.writeEmptyPoiStore(temp);
            copyToDevice(rapi, temp, paths.store);
            platform::deleteFile(temp);
        }
        return {};
    }
    if (!probeFolder(paths.folder + platform::kPathSeparator)) {
        if (!platform::fileExists(paths.store)) {
            platform::createFolder(paths.folder);
            store.writeEmptyPoiStore(paths.store);
        }
        return {};
    }
    store.readPoiStore(paths.store);
    return buildPoiListXml(store);
}

std::string poiToPDA(NavigatorState& device, const std::string& text, int* editResult) {
    changeStore(device, TaskStatus::TransferError, [&](PoiStore& store) {
        int result = addPois(store, text);
        if (editResult) *editResult = result;
        return result;
    });
    return {};
}

std::string deleteSelectedPoi(NavigatorState& device, const std::string& text, int* editResult) {
    changeStore(device, TaskStatus::UnknownError, [&](PoiStore& store) {
        int result = deletePois(store, text);
        if (editResult) *editResult = result;
        return result;
    });
    return {};
}

std::string buildPoiListXml(const PoiStore& store) {
    const PoiHeader& h = store.header;
    std::string out = "<?xml version=\"1.0\" encoding=\"GB2312\" ?>";
    if (h.count < 1) return out + "<point page=\"1\" count=\"0\"></point>";
    bool handled = store.versionHandled();
    if (handled && static_cast<size_t>(h.count) != store.records.size()) return {};
    out += "<point page=\"1\" count=\"" + std::to_string(h.count) + "\">";
    if (handled) {
        size_t timeAt = PoiStore::timeOffset(h.version);
        for (size_t i = 0; i < store.records.size(); ++i) {
            const PoiRecord& r = store.records[i];
            std::string date;
            if (timeAt != 0) {
                char text[64];
                std::snprintf(
                    text, sizeof text, "%04d%02d%02d%02d%02d%02d", PoiStore::recordInt(r, timeAt),
                    PoiStore::recordInt(r, timeAt + 4), PoiStore::recordInt(r, timeAt + 8),
                    PoiStore::recordInt(r, timeAt + 12), PoiStore::recordInt(r, timeAt + 16),
                    PoiStore::recordInt(r, timeAt + 20));
                date = text;
            }
            auto number = [&](size_t offset) {
                return std::to_string(PoiStore::recordInt(r, offset));
            };
            out += "<point id=\"" + std::to_string(i) + "\" lastUpDate=\"" + date +
                   "\" URL=\"\" hide=\"false\" level=\"12\" lng=\"" + number(PoiStore::kLngOffset) +
                   "\" lat=\"" + number(PoiStore::kLatOffset) + "\" showName=\"" +
                   number(PoiStore::kShowNameOffset) + "\" iconIndex=\"" +
                   number(PoiStore::kIconOffset) + "\" nType=\"" + number(PoiStore::kTypeOffset) +
                   "\">";
            appendXmlEscaped(out, platform::utf16ToAnsi(PoiStore::recordName(r)));
            out += "</point>";
        }
    }
    out += "</point>";
    return out;
}

namespace {

// A place of the page's list as a record of the given size, stamped `now` where the version keeps
// a time.
PoiRecord recordFrom(const TiXmlElement& e, size_t size, size_t timeAt,
                     const platform::LocalTime& now) {
    PoiRecord record(size, 0);
    if (const char* lng = e.Attribute("lng"))
        PoiStore::setRecordInt(record, PoiStore::kLngOffset, atoiSaturated(lng));
    if (const char* lat = e.Attribute("lat"))
        PoiStore::setRecordInt(record, PoiStore::kLatOffset, atoiSaturated(lat));
    if (const TiXmlNode* child = e.FirstChild()) {
        std::u16string name = platform::ansiToUtf16(child->ValueStr());
        if (name.size() > PoiStore::kMaxNameUnits) name.resize(PoiStore::kMaxNameUnits);
        for (size_t u = 0; u < name.size(); ++u) {
            record[PoiStore::kNameOffset + 2 * u] = static_cast<uint8_t>(name[u] & 0xFF);
            record[PoiStore::kNameOffset + 2 * u + 1] = static_cast<uint8_t>(name[u] >> 8);
        }
    }
    if (timeAt != 0) {
        const int fields[6] = {now.year, now.month, now.day, now.hour, now.minute, now.second};
        for (int f = 0; f < 6; ++f)
            PoiStore::setRecordInt(record, timeAt + 4 * static_cast<size_t>(f), fields[f]);
    }
    return record;
}

}  // namespace

int addPois(PoiStore& store, const std::string& text) {
    TiXmlDocument document;
    std::string refusal;
    if (!parseBoundedXml(document, text, kPageArgumentLimits, refusal)) {
        platform::logLine("poiToPDA: the places were refused: " + refusal);
        return -1;
    }
    // Any well-formed text is taken, also with white space after its last element.
    if (document.Error()) return -1;
    size_t size = PoiStore::recordSize(store.header.version);
    if (size == 0) return 1;
    platform::LocalTime now = platform::clock().localNow();
    size_t timeAt = PoiStore::timeOffset(store.header.version);
    std::vector<PoiRecord> added;
    for (TiXmlElement* e = document.FirstChildElement(); e != nullptr;
         e = e->NextSiblingElement()) {
        added.push_back(recordFrom(*e, size, timeAt, now));
        ++store.header.count;
    }
    // The last place of the text ends up first.
    store.records.insert(store.records.begin(), std::make_move_iterator(added.rbegin()),
                         std::make_move_iterator(added.rend()));
    return 1;
}

int deletePois(PoiStore& store, const std::string& text) {
    if (!store.versionHandled()) return 1;
    std::vector<bool> marked(store.records.size(), false);
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) {
            int id = atoiSaturated(text.substr(start, comma - start));
            if (id < 0 || static_cast<size_t>(id) >= marked.size() ||
                marked[static_cast<size_t>(id)])
                return -1;
            marked[static_cast<size_t>(id)] = true;
        }
        start = comma + 1;
    }
    std::vector<PoiRecord> kept;
    for (size_t i = 0; i < store.records.size(); ++i)
        if (!marked[i]) kept.push_back(std::move(store.records[i]));
    store.header.count -= static_cast<int32_t>(store.records.size() - kept.size());
    store.records = std::move(kept);
    return 1;
}
