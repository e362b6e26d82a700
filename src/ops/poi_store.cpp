#include "ops/poi_store.h"

#include "platform/files.h"

namespace {

void putInt(uint8_t* out, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t getInt(const uint8_t* in) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(v);
}

void encodeHeader(const PoiHeader& h, uint8_t* out) {
    putInt(out, h.count);
    putInt(out + 4, h.reserved4);
    putInt(out + 8, h.reserved8);
    putInt(out + 12, h.version);
    putInt(out + 16, h.reserved16);
}

}  // namespace

size_t PoiStore::recordSize(int32_t version) {
    switch (version) {
        case 1:
            return 216;
        case 2:
        case 3:
            return 308;
        case 4:
        case 5:
            return 556;
        default:
            return 0;
    }
}

size_t PoiStore::timeOffset(int32_t version) {
    if (version == 2 || version == 3) return kTimeOffsetV2;
    if (version == 4 || version == 5) return kTimeOffsetV4;
    return 0;
}

int PoiStore::readPoiStore(const std::string& path) {
    clearPoiRecords();
    // Read and write access, as the navigator's software expects of a store it may share: a
    // read-only store is not read.
    platform::File file(path, platform::OpenMode::ReadWriteExisting);
    if (!file.isOpen()) {
        header.count = 0;
        return -1;
    }
    uint8_t bytes[kHeaderSize];
    if (file.read(bytes, kHeaderSize) != kHeaderSize) {
        header.count = 0;
        return -2;
    }
    PoiHeader read{getInt(bytes), getInt(bytes + 4), getInt(bytes + 8), getInt(bytes + 12),
                   getInt(bytes + 16)};
    size_t size = recordSize(read.version);
    if (size != 0) {
        int64_t fileSize = file.size();
        if (read.count < 0 || read.count > kMaxRecords || fileSize < 0 ||
            fileSize > static_cast<int64_t>(kHeaderSize + size * static_cast<size_t>(read.count)) +
                           kSlackBytes) {
            header.count = 0;
            return -1;
        }
    }
    header = read;
    if (size == 0) return 1;
    for (int32_t i = 0; i < header.count; ++i) {
        PoiRecord record(size);
        if (file.read(record.data(), size) != size) {
            header.count = i;
            return -3;
        }
        records.push_back(std::move(record));
    }
    return 0;
}

int PoiStore::writePoiStore(const std::string& path) const {
    // Not truncated: bytes of an earlier, longer file stay after the last record, and a store
    // this program cannot handle keeps its records behind the header rewritten unchanged.
    platform::File file(path, platform::OpenMode::OpenAlways);
    if (!file.isOpen()) return -1;
    uint8_t bytes[kHeaderSize];
    encodeHeader(header, bytes);
    file.write(bytes, kHeaderSize);
    size_t size = recordSize(header.version);
    if (size == 0) return -3;
    if (header.count < 0 || static_cast<size_t>(header.count) != records.size()) return -2;
    for (const PoiRecord& record : records)
        file.write(record.data(), size);
    return 0;
}

int PoiStore::writeEmptyPoiStore(const std::string& path) const {
    platform::File file(path, platform::OpenMode::CreateAlways);
    if (!file.isOpen()) return -1;
    PoiHeader empty = header;
    empty.count = 0;
    if (recordSize(empty.version) == 0) empty.version = kCreatedVersion;
    uint8_t bytes[kHeaderSize];
    encodeHeader(empty, bytes);
    file.write(bytes, kHeaderSize);
    return 1;
}

int32_t PoiStore::recordInt(const PoiRecord& record, size_t offset) {
    return offset + 4 <= record.size() ? getInt(record.data() + offset) : 0;
}

void PoiStore::setRecordInt(PoiRecord& record, size_t offset, int32_t value) {
    if (offset + 4 <= record.size()) putInt(record.data() + offset, value);
}

std::u16string PoiStore::recordName(const PoiRecord& record) {
    std::u16string name;
    for (size_t at = kNameOffset; at + 1 < kNameOffset + kNameAreaSize && at + 1 < record.size();
         at += 2) {
        auto unit = static_cast<char16_t>(record[at] | (record[at + 1] << 8));
        if (unit == 0) break;
        name += unit;
    }
    return name;
}
