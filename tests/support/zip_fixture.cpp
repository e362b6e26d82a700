#include "support/zip_fixture.h"

#include <zlib.h>

#include <ctime>
#include <initializer_list>
#include <stdexcept>

namespace {

constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint32_t kCentralHeader = 0x02014b50;
constexpr uint32_t kEndRecord = 0x06054b50;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kUtf8NameFlag = 0x0800;

// One little-endian field of `width` bytes.
struct Field {
    uint32_t value;
    int width;
};

void put(std::string& out, std::initializer_list<Field> fields) {
    for (const Field& f : fields)
        for (int i = 0; i < f.width; ++i)
            out.push_back(static_cast<char>((f.value >> (8 * i)) & 0xFF));
}

uint16_t u16(size_t n) {
    if (n > 0xFFFF) throw std::length_error("zip fixture: field over 16 bits");
    return static_cast<uint16_t>(n);
}

uint32_t u32(size_t n) {
    if (n > 0xFFFFFFFFu) throw std::length_error("zip fixture: field over 32 bits");
    return static_cast<uint32_t>(n);
}

// Raw deflate (no zlib header), as zip entries hold it.
std::string deflateRaw(const std::string& data) {
    z_stream s{};
    if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zip fixture: deflateInit2");
    std::string out(deflateBound(&s, static_cast<uLong>(data.size())), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    if (rc != Z_STREAM_END) throw std::runtime_error("zip fixture: deflate");
    return out;
}

ZipTime now() {
    std::time_t t = std::time(nullptr);
    const std::tm* tm = std::localtime(&t);
    return {tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec};
}

}  // namespace

uint32_t dosDateTime(const ZipTime& t) {
    uint32_t date = static_cast<uint32_t>((t.year - 1980) << 9 | t.month << 5 | t.day);
    uint32_t time = static_cast<uint32_t>(t.hour << 11 | t.minute << 5 | t.second / 2);
    return date << 16 | time;
}

std::string zipBytes(const std::vector<ZipEntry>& entries) {
    std::string out;
    std::string central;
    for (const ZipEntry& e : entries) {
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), u32(e.data.size())));
        std::string stored = e.method == ZipMethod::Deflated ? deflateRaw(e.data) : e.data;
        if (e.damage == ZipDamage::FlippedDataByte && !stored.empty())
            stored[stored.size() / 2] = static_cast<char>(~stored[stored.size() / 2]);
        const uint32_t size = u32(e.data.size());
        const uint32_t claimed = e.damage == ZipDamage::HugeClaimedSize ? 0xFFFFFFF0u : size;
        const uint32_t when = dosDateTime(e.time ? *e.time : now());
        const uint16_t flags = e.utf8Name ? kUtf8NameFlag : 0;
        const uint32_t offset = u32(out.size());

        put(out, {{kLocalHeader, 4},
                  {kVersionNeeded, 2},
                  {flags, 2},
                  {static_cast<uint16_t>(e.method), 2},
                  {when & 0xFFFF, 2},  // time
                  {when >> 16, 2},     // date
                  {crc, 4},
                  {u32(stored.size()), 4},  // compressed size
                  {size, 4},                // uncompressed size
                  {u16(e.name.size()), 2},
                  {0, 2}});  // extra field length
        out += e.name;
        out += stored;

        put(central, {{kCentralHeader, 4},
                      {e.madeBy, 2},
                      {kVersionNeeded, 2},
                      {flags, 2},
                      {static_cast<uint16_t>(e.method), 2},
                      {when & 0xFFFF, 2},
                      {when >> 16, 2},
                      {crc, 4},
                      {u32(stored.size()), 4},
                      {claimed, 4},
                      {u16(e.name.size()), 2},
                      {0, 2},  // extra field length
                      {0, 2},  // comment length
                      {0, 2},  // disk number
                      {0, 2},  // internal attributes
                      {e.external, 4},
                      {offset, 4}});  // of the local header
        central += e.name;
    }
    const uint32_t centralOffset = u32(out.size());
    out += central;
    put(out, {{kEndRecord, 4},
              {0, 2},  // this disk
              {0, 2},  // disk of the central directory
              {u16(entries.size()), 2},
              {u16(entries.size()), 2},
              {u32(central.size()), 4},
              {centralOffset, 4},
              {0, 2}});  // comment length
    return out;
}
