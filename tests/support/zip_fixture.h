#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Zip packages for tests, laid out byte by byte here rather than by the program's own writer or
// its zip library, so that the reader is checked against packages it shares no code with. Every
// entry is written as given: names are raw bytes (any separator, "..", a drive, GBK or UTF-8),
// attributes and times are not second-guessed, and an entry can be damaged on purpose.

enum class ZipMethod : uint16_t { Stored = 0, Deflated = 8 };

enum class ZipDamage {
    None,
    // One byte of the entry's data is inverted after its checksum was taken.
    FlippedDataByte,
    // The central directory claims an uncompressed size of almost 4 GB; the data is intact.
    HugeClaimedSize,
};

// The host system in the "version made by" field (high byte), with format version 2.0.
constexpr uint16_t kMadeOnDos = 0x0014;
constexpr uint16_t kMadeOnUnix = 0x0314;

// External attributes: DOS attribute bits in the low byte, a Unix mode in the high 16 bits.
constexpr uint32_t kDosFolder = 0x10;
constexpr uint32_t kDosArchive = 0x20;
constexpr uint32_t kUnixFile = 0100644u << 16;      // -rw-r--r--, a file added from disk
constexpr uint32_t kUnixWrittenData = 0600u << 16;  // ?rw-------, data added without a file

// Calendar fields of a local time.
struct ZipTime {
    int year, month, day, hour, minute, second;
};

// One entry, described in a chain: ZipEntry("R2/").attributes(0).at(kNoTime).
struct ZipEntry {
    explicit ZipEntry(std::string entryName, std::string entryData = {})
        : name(std::move(entryName)), data(std::move(entryData)) {}

    ZipEntry& deflated() { return method = ZipMethod::Deflated, *this; }
    ZipEntry& attributes(uint32_t value) { return external = value, *this; }
    ZipEntry& madeOn(uint16_t value) { return madeBy = value, *this; }
    ZipEntry& at(const ZipTime& value) { return time = value, *this; }
    ZipEntry& utf8() { return utf8Name = true, *this; }
    ZipEntry& damaged(ZipDamage value) { return damage = value, *this; }

    std::string name;
    std::string data;
    ZipMethod method = ZipMethod::Stored;
    uint32_t external = kUnixFile;
    uint16_t madeBy = kMadeOnUnix;
    std::optional<ZipTime> time;  // the current local time when empty
    bool utf8Name = false;        // general-purpose flag bit 11
    ZipDamage damage = ZipDamage::None;
};

// The DOS date (high 16 bits) and time (low 16 bits, two-second steps) of a local time.
uint32_t dosDateTime(const ZipTime& t);

// A whole package: local headers and data, then the central directory and its end record.
std::string zipBytes(const std::vector<ZipEntry>& entries);
