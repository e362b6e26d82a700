#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Little-endian builders for POI stores (address.poi), independent of the program's reader and
// writer.

struct PoiRecordFixture {
    int32_t type = 0;
    int32_t icon = 0;
    int32_t lng = 0;
    int32_t lat = 0;
    std::u16string name{};
    int32_t showName = 0;
    std::array<int32_t, 6> time{};  // year, month, day, hour, minute, second (versions 2 to 5)
    // Written into every byte that the program does not interpret (the name area after the
    // name's terminator, bytes 212 to 215, the unused parts of the tails), so that tests see
    // whether those bytes are carried through.
    uint8_t filler = 0;
};

// One record of the layout of `version` (1, 2 to 3, 4 to 5).
std::string poiRecordBytes(int32_t version, const PoiRecordFixture& record);

// The header (count, three uninterpreted fields, version) followed by the records' bytes.
std::string poiStoreBytes(int32_t count, int32_t version, const std::vector<std::string>& records,
                          std::array<int32_t, 3> reserved = {0, 0, 0});
