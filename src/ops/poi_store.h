#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The navigator's saved places, address.poi: a 20-byte header and `count` records of one size
// chosen by `version` (1: 216 bytes; 2 and 3: 308; 4 and 5: 556). All integers are 32-bit,
// little-endian, signed. Records are kept as the raw bytes read, so that every byte the program
// does not interpret goes back to the file unchanged.

struct PoiHeader {
    int32_t count = 0;
    int32_t reserved4 = 0;  // offsets 4, 8 and 16: not interpreted, carried unchanged
    int32_t reserved8 = 0;
    int32_t version = 0;
    int32_t reserved16 = 0;
};

using PoiRecord = std::vector<uint8_t>;

class PoiStore {
  public:
    static constexpr size_t kHeaderSize = 20;
    // Offsets in a record.
    static constexpr size_t kTypeOffset = 0;
    static constexpr size_t kIconOffset = 4;
    static constexpr size_t kLngOffset = 8;
    static constexpr size_t kLatOffset = 12;
    static constexpr size_t kNameOffset = 16;
    static constexpr size_t kNameAreaSize = 192;
    static constexpr size_t kMaxNameUnits = 31;
    static constexpr size_t kShowNameOffset = 208;
    static constexpr size_t kCommonSize = 216;
    // The six time fields (year, month, day, hour, minute, second), by layout.
    static constexpr size_t kTimeOffsetV2 = 284;
    static constexpr size_t kTimeOffsetV4 = 216;
    // The version of a store that this program creates when it holds no handled header: the
    // newest layout, which carries the places' times.
    static constexpr int32_t kCreatedVersion = 4;
    // The most places a store can sensibly hold, and the bytes a file may carry beyond what its
    // count needs (what an earlier, longer store left after its last record). A store beyond
    // either is not read: its count alone could ask for gigabytes.
    static constexpr int32_t kMaxRecords = 100000;
    static constexpr int64_t kSlackBytes = 1 << 20;
    // No handled store may be larger than this.
    static constexpr int64_t kMaxFileSize =
        static_cast<int64_t>(kHeaderSize) + int64_t{kMaxRecords} * 556 + kSlackBytes;

    // Record size for a version, 0 for a version the program does not handle.
    static size_t recordSize(int32_t version);
    // Offset of the time fields for a version, 0 for version 1 (no time) and unhandled ones.
    static size_t timeOffset(int32_t version);
    bool versionHandled() const { return recordSize(header.version) != 0; }

    void clearPoiRecords() { records.clear(); }
    // 0 read; 1 header read but version not handled (no records); -1 cannot open, or a store
    // of a handled version with a count below 0 or above kMaxRecords, or with more than
    // kSlackBytes beyond its records (count 0, the header held before kept); -2 header short
    // (count 0); -3 a record short (count = the records read whole).
    int readPoiStore(const std::string& path);
    // Writes the header, then the records, over the file from its start without truncating it.
    // 0 written; -1 cannot open; -2 count and records disagree; -3 version not handled (both
    // after the header was written).
    int writePoiStore(const std::string& path) const;
    // A store of the header alone with count 0; the other fields as held, and version
    // kCreatedVersion when the held one is not handled. 1 written, -1 cannot create.
    int writeEmptyPoiStore(const std::string& path) const;

    // Field access on one record of this store's layout.
    static int32_t recordInt(const PoiRecord& record, size_t offset);
    static void setRecordInt(PoiRecord& record, size_t offset, int32_t value);
    static std::u16string recordName(const PoiRecord& record);

    PoiHeader header;
    // The records of the current version, in file order. Invariant: header.count equals
    // records.size() for a handled version.
    std::vector<PoiRecord> records;
};
