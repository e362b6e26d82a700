#include "support/poi_fixtures.h"

#include "support/route_fixtures.h"

std::string poiRecordBytes(int32_t version, const PoiRecordFixture& r) {
    LeBytes b;
    b.i32(r.type).i32(r.icon).i32(r.lng).i32(r.lat);
    b.text(r.name).u16(0);
    const char filler = static_cast<char>(r.filler);
    b.raw(std::string(192 - 2 * (r.name.size() + 1), filler));
    b.i32(r.showName).raw(std::string(4, filler));
    auto time = [&] {
        for (int32_t v : r.time)
            b.i32(v);
    };
    if (version == 2 || version == 3) {
        b.raw(std::string(68, filler));
        time();
    } else if (version == 4 || version == 5) {
        time();
        b.raw(std::string(316, filler));
    }
    return b.str();
}

std::string poiStoreBytes(int32_t count, int32_t version, const std::vector<std::string>& records,
                          std::array<int32_t, 3> reserved) {
    LeBytes b;
    b.i32(count).i32(reserved[0]).i32(reserved[1]).i32(version).i32(reserved[2]);
    for (const std::string& r : records)
        b.raw(r);
    return b.str();
}
