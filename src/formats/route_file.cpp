#include "formats/route_file.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "formats/byte_io.h"
#include "formats/text_encoding.h"
#include "platform/files.h"

namespace {

constexpr uint32_t kOldestRouteVersion = 258;
constexpr int64_t kTitleOffset = 132;  // offset of the header text length

template <size_t N>
std::u16string_view fieldText(const std::array<char16_t, N>& field) {
    return std::u16string_view(field.data(),
                               std::find(field.begin(), field.end(), u'\0') - field.begin());
}

template <size_t N>
bool readField(LeFileReader& in, std::array<char16_t, N>& field) {
    return in.units(field.data(), N);
}

// A stored text of `length` units: all of them are consumed; the text ends at its first NUL, or
// with `allUnits` keeps every unit. A length that the rest of the file cannot hold fails without
// allocating.
bool readText(LeFileReader& in, int32_t length, std::u16string& text, bool allUnits) {
    text.clear();
    if (length <= 0) return true;
    std::u16string units(
        static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(length), in.remaining() / 2)),
        u'\0');
    if (units.size() != static_cast<size_t>(length) || !in.units(units.data(), units.size()))
        return false;
    if (!allUnits) units.resize(std::find(units.begin(), units.end(), u'\0') - units.begin());
    text = std::move(units);
    return true;
}

// One whole record, or false when the file ends inside it.
bool readRecord(LeFileReader& in, RouteRecord& r, bool allUnits) {
    int16_t kind = 0;
    if (!readField(in, r.title) || !in.i16(kind) || !in.i32(r.mileage) || !in.i32(r.param1) ||
        !in.i32(r.param2) || !in.i32(r.lng) || !in.i32(r.lat) || !in.i32(r.contentLength))
        return false;
    r.kind = static_cast<RecordKind>(kind);
    return readText(in, r.contentLength, r.content, allUnits) && in.i32(r.imgLength) &&
           readText(in, r.imgLength, r.img, allUnits);
}

int32_t storedLength(size_t n) {
    return static_cast<int32_t>(std::min<size_t>(n, INT32_MAX));
}

// Whether the file holds an accepted magic and version, read into the header.
bool readAccepted(LeFileReader& in, RouteHeader& header) {
    std::array<char16_t, 10> magic{};
    uint32_t version = 0;
    if (!readField(in, magic) || fieldText(magic) != u"SMG_RUT" || !in.u32(version) ||
        version < kOldestRouteVersion)
        return false;
    header.magic = magic;
    header.version = version;
    return true;
}

// The fields after the version of an accepted file: whatever it holds in full is taken, and
// reading stops at the first field that it does not (false).
bool readBody(LeFileReader& in, RouteBookData& data, bool allUnits) {
    RouteHeader& h = data.header;
    if (!readField(in, h.author) || !in.i32(h.lastUpDate) || !readField(in, h.startCity) ||
        !readField(in, h.endCity) || !in.i32(h.headerTextLength))
        return false;
    if (!readText(in, h.headerTextLength, h.headerText, allUnits)) return false;
    if (!in.i32(h.recordCount)) return false;
    h.recordIndex.clear();
    if (h.recordCount > 0) {
        if (in.remaining() / 4 < static_cast<uint64_t>(h.recordCount)) return false;
        h.recordIndex.resize(static_cast<size_t>(h.recordCount));
        for (int32_t& entry : h.recordIndex)
            in.i32(entry);
    }
    for (int32_t i = 0; i < h.recordCount; ++i) {
        auto record = std::make_unique<RouteRecord>();
        if (!readRecord(in, *record, allUnits)) return false;
        data.records.push_back(std::move(record));
    }
    return true;
}

// Whether the stored lengths and count are those of the texts and records held.
bool lengthsAgree(const RouteBookData& data) {
    const RouteHeader& h = data.header;
    if (h.headerTextLength != storedLength(h.headerText.size()) ||
        h.recordCount != storedLength(data.records.size()))
        return false;
    return std::all_of(data.records.begin(), data.records.end(), [](const auto& r) {
        return r->contentLength == storedLength(r->content.size()) &&
               r->imgLength == storedLength(r->img.size());
    });
}

}  // namespace

int RouteBookData::readRouteFile(const std::string& path) {
    platform::File file(path, platform::OpenMode::ReadWriteExisting);
    if (!file.isOpen()) return 0;
    LeFileReader in(file);
    if (!readAccepted(in, header)) return 0;
    readBody(in, *this, false);
    return 1;
}

std::optional<StoredRouteFile> readStoredRouteFile(const std::string& path) {
    platform::File file(path, platform::OpenMode::Read);
    if (!file.isOpen()) return std::nullopt;
    LeFileReader in(file);
    StoredRouteFile stored;
    if (!readAccepted(in, stored.data.header)) return std::nullopt;
    const bool whole = readBody(in, stored.data, true);
    stored.exact = whole && lengthsAgree(stored.data);
    if (stored.exact) {
        stored.trailing.resize(static_cast<size_t>(in.remaining()));
        stored.exact = in.bytes(stored.trailing.data(), stored.trailing.size());
    }
    return stored;
}

std::vector<int32_t> routeRecordOffsets(const RouteBookData& data) {
    std::vector<int32_t> offsets;
    offsets.reserve(data.records.size());
    int64_t at =
        140 + 2 * int64_t(data.header.headerText.size()) + 4 * int64_t(data.records.size());
    for (const auto& r : data.records) {
        offsets.push_back(static_cast<int32_t>(at));
        at += 70 + 2 * int64_t(r->content.size()) + 2 * int64_t(r->img.size());
    }
    return offsets;
}

std::string encodeRouteFile(const RouteBookData& data, RouteIndex index) {
    LeWriter out;
    const RouteHeader& h = data.header;
    out.units(h.magic.data(), h.magic.size()).u32(h.version);
    out.units(h.author.data(), h.author.size()).i32(h.lastUpDate);
    out.units(h.startCity.data(), h.startCity.size()).units(h.endCity.data(), h.endCity.size());
    out.i32(storedLength(h.headerText.size())).units(h.headerText);
    out.i32(storedLength(data.records.size()));
    if (index == RouteIndex::Zeros) {
        out.zeros(4 * data.records.size());
    } else {
        const std::vector<int32_t> entries =
            index == RouteIndex::Offsets ? routeRecordOffsets(data) : h.recordIndex;
        for (size_t i = 0; i < data.records.size(); ++i)
            out.i32(i < entries.size() ? entries[i] : 0);
    }
    for (const auto& r : data.records) {
        out.units(r->title.data(), r->title.size()).i16(static_cast<int16_t>(r->kind));
        out.i32(r->mileage).i32(r->param1).i32(r->param2).i32(r->lng).i32(r->lat);
        out.i32(storedLength(r->content.size())).units(r->content);
        out.i32(storedLength(r->img.size())).units(r->img);
    }
    return out.take();
}

int RouteBookData::writeRouteFile(const std::string& path) const {
    platform::File file(path, platform::OpenMode::CreateAlways);
    if (!file.isOpen()) return 0;
    const std::string bytes = encodeRouteFile(*this, RouteIndex::Zeros);
    return file.write(bytes.data(), bytes.size()) ? 1 : 0;
}

void RouteBookData::clearRouteBookData() {
    records.clear();
    points.clear();
}

std::string readFirstRecordTitle(const std::string& path) {
    if (path.empty()) return {};
    platform::File file(path, platform::OpenMode::ReadWriteExisting);
    if (!file.isOpen()) return {};
    LeFileReader in(file, kTitleOffset);
    int32_t textLength = 0;
    int32_t recordCount = 0;
    std::array<char16_t, 20> title{};
    if (!in.i32(textLength) || !in.skip(2 * static_cast<uint64_t>(std::max(textLength, 0))) ||
        !in.i32(recordCount) || !in.skip(4 * static_cast<uint64_t>(std::max(recordCount, 0))))
        return {};
    // Up to 40 bytes into a zeroed field: a title cut short keeps what the file holds.
    unsigned char bytes[40] = {};
    in.bytes(bytes, static_cast<size_t>(std::min<uint64_t>(in.remaining(), sizeof bytes)));
    for (size_t i = 0; i < title.size(); ++i)
        title[i] = static_cast<char16_t>(loadU16(bytes + 2 * i));
    return fieldToAnsi(title.data(), title.size());
}
