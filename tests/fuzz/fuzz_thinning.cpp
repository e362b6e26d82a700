// The thinning's two ways of finding a range's farthest point against each other on tracks of
// 801 to 4626 points, and short tracks against thinning again for every tolerance. The input's
// first 8 bytes are a start position (any 32-bit values); byte 8 gives a step scale (low 6 bits)
// and whether the steps grow with every round through them (bit 6: widening zig-zags, spirals);
// byte 9 the length; the rest steps of two int16, repeated until the track is long enough.
#include <cstdint>
#include <cstdlib>

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
    if (size < 14) return 0;
    TrackPoint at{load32(data), load32(data + 4), 0};
    // Steps scaled by a factor from the input so that short inputs reach far too.
    uint32_t scale = 1 + data[8] % 64;
    bool growing = (data[8] & 64) != 0;
    size_t count = 801 + 15 * static_cast<size_t>(data[9]);
    const uint8_t* steps = data + 10;
    size_t stepCount = (size - 10) / 4;
    std::vector<TrackPoint> points;
    points.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = steps + 4 * (i % stepCount);
        uint32_t factor = scale * (growing ? static_cast<uint32_t>(1 + i / stepCount) : 1);
        // Wrapping arithmetic: the far corners of the coordinate range are wanted too.
        at.lng = static_cast<int32_t>(static_cast<uint32_t>(at.lng) +
                                      static_cast<uint32_t>(load16(s)) * factor);
        at.lat = static_cast<int32_t>(static_cast<uint32_t>(at.lat) +
                                      static_cast<uint32_t>(load16(s + 2)) * factor);
        at.lineId = static_cast<int32_t>(i);
        points.push_back(at);
    }
    // By default a track is scanned throughout unless its splits are lopsided, and then scanned
    // only at first: against hulls throughout that compares the two at little cost.
    std::vector<TrackPoint> print = simplifyTrack(points);
    if (simplifyTrack(points, {0, 0, 0}) != print) std::abort();
    // Scanning throughout costs up to 800 reads of every point, the plain thinning even more.
    if (count < 2000 && simplifyTrack(points, {SIZE_MAX, SIZE_MAX, SIZE_MAX}) != print)
        std::abort();
    if (count < 1000 && referenceThinning(points) != print) std::abort();
    return 0;
}
