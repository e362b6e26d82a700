// The one-pass thinning against thinning again for every tolerance, on tracks long enough to be
// thinned: the input's first 8 bytes are a start position (any 32-bit values), the rest steps
// of two int16, repeated until the track has 801 to 864 points (the plain thinning is slow).
#include <cstdlib>
#include <cstring>

#include "formats/track_simplification.h"
#include "support/reference_thinning.h"

namespace {
int32_t load32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}
int16_t load16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 13) return 0;
    TrackPoint at{load32(data), load32(data + 4), 0};
    // Steps scaled by a factor from the input so that short inputs reach far too.
    int32_t scale = 1 + data[8] % 64;
    size_t count = 801 + static_cast<size_t>(data[9] % 64);
    const uint8_t* steps = data + 10;
    size_t stepCount = (size - 10) / 4;
    if (stepCount == 0) return 0;
    std::vector<TrackPoint> points;
    points.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = steps + 4 * (i % stepCount);
        at.lng = static_cast<int32_t>(static_cast<uint32_t>(at.lng) +
                                      static_cast<uint32_t>(load16(s) * scale));
        at.lat = static_cast<int32_t>(static_cast<uint32_t>(at.lat) +
                                      static_cast<uint32_t>(load16(s + 2) * scale));
        at.lineId = static_cast<int32_t>(i);
        points.push_back(at);
    }
    if (simplifyTrack(points) != referenceThinning(points)) std::abort();
    return 0;
}
