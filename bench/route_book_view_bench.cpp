// Viewing a route book with a long track: read the track file, thin it to the print list and
// write the document, for generated drives of 10,000 to 1,000,000 points; the thinning alone on
// shapes that make Douglas-Peucker slow or that circle, each of which should stay within twice
// the drive of the same length; and, for comparison, the drive with every range scanned and
// thinning again for every tolerance as the plain method does.
//
//   cmake --preset release && cmake --build --preset release -j2 --target route_book_view_bench
//   build/release/bench/route_book_view_bench

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>

#include "formats/route_book_xml.h"
#include "formats/sample_track.h"
#include "formats/track_file.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/reference_thinning.h"

namespace {

// One track file per size, written once into the temporary folder.
class DriveFiles {
  public:
    void removeAll() {
        for (const auto& [points, path] : paths_)
            platform::deleteFile(path);
        paths_.clear();
    }
    const std::string& path(size_t points) {
        auto it = paths_.find(points);
        if (it != paths_.end()) return it->second;
        SampleDriveOptions options;
        options.points = points;
        options.seed = 2009;
        std::string path =
            platform::tempFolder() + "vantu-bench-drive-" + std::to_string(points) + ".trk";
        writeTrackFile(path, 259, sampleDrive(options));
        return paths_[points] = path;
    }

  private:
    std::map<size_t, std::string> paths_;
};

DriveFiles& driveFiles() {
    static DriveFiles files;
    return files;
}

std::vector<TrackPoint> drivePoints(size_t n) {
    RouteBookData data;
    readTrackFile(data, driveFiles().path(n));
    return data.points;
}

void BM_ViewRouteBook(benchmark::State& state) {
    const std::string& path = driveFiles().path(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        RouteBookData data;
        readTrackFile(data, path);
        std::string document;
        writeRouteBookXml(data, document, "drive");
        benchmark::DoNotOptimize(document.data());
    }
    state.counters["print_points"] =
        static_cast<double>(simplifyTrack(drivePoints(static_cast<size_t>(state.range(0)))).size());
}
BENCHMARK(BM_ViewRouteBook)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ReadTrack(benchmark::State& state) {
    const std::string& path = driveFiles().path(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        RouteBookData data;
        readTrackFile(data, path);
        benchmark::DoNotOptimize(data.points.data());
    }
}
BENCHMARK(BM_ReadTrack)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ThinDrive(benchmark::State& state) {
    std::vector<TrackPoint> points = drivePoints(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(simplifyTrack(points).data());
}
BENCHMARK(BM_ThinDrive)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The same with every farthest point found by scanning its range, as before the hulls.
void BM_ThinDriveScansOnly(benchmark::State& state) {
    std::vector<TrackPoint> points = drivePoints(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(simplifyTrack(points, {SIZE_MAX, SIZE_MAX, SIZE_MAX}).data());
}
BENCHMARK(BM_ThinDriveScansOnly)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ThinDriveThinningAgainPerTolerance(benchmark::State& state) {
    std::vector<TrackPoint> points = drivePoints(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(referenceThinning(points).data());
}
BENCHMARK(BM_ThinDriveThinningAgainPerTolerance)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// Shapes that unbalance the split tree, or keep most points on the hulls that find the farthest
// point once it is: tracks that circle.
TrackPoint polar(double r, double angle, double x = 0) {
    return {static_cast<int32_t>(std::lround(x + r * std::cos(angle))),
            static_cast<int32_t>(std::lround(r * std::sin(angle))), 0};
}

struct Shape {
    const char* name;
    TrackPoint (*at)(size_t i);
};

const Shape kShapes[] = {
    {"widening zig-zag",  // every split next to the range's end
     [](size_t i) -> TrackPoint {
         int32_t k = static_cast<int32_t>(i);
         return {k * 10, (i % 2 ? 1 : -1) * k, 0};
     }},
    {"spiral", [](size_t i) { return polar(1000 + 3.0 * double(i), 0.05 * double(i)); }},
    {"circle traced again", [](size_t i) { return polar(100000, 0.01 * double(i)); }},
    {"collinear runs",  // back and forth along one line in runs of growing length: ties everywhere
     [](size_t i) -> TrackPoint {
         int32_t k = static_cast<int32_t>(i);
         int32_t run = static_cast<int32_t>(std::sqrt(static_cast<double>(i)));
         return {(run % 2 ? 1 : -1) * (k - run * run) * 10, i % 1000 == 0 ? 100 : 0, 0};
     }},
    {"widening circles",  // a search flown in circles 1.5 km wider each time: arcs of 3,000 points
     [](size_t i) { return polar(1000 + 0.5 * double(i), 0.002 * double(i)); }},
    {"drifting circles",  // circling in a thermal that drifts with the wind
     [](size_t i) { return polar(5000, 0.01 * double(i), 2.0 * double(i)); }},
    {"laps of a circuit",  // an oval of 3.4 km, 160 points a lap, with a receiver's noise
     [](size_t i) -> TrackPoint {
         constexpr double kPi = 3.14159265358979323846;
         constexpr double kStraight = 1800, kRadius = 350, kBend = kPi * kRadius;
         double s = std::fmod(36.0 * double(i), 2 * (kStraight + kBend));
         int32_t noise = static_cast<int32_t>((i * 2654435761u) % 7) - 3;
         TrackPoint p = s < kStraight ? TrackPoint{int32_t(s), int32_t(-kRadius), 0}
                        : s < kStraight + kBend
                            ? polar(kRadius, (s - kStraight) / kRadius - kPi / 2, kStraight)
                        : s < 2 * kStraight + kBend
                            ? TrackPoint{int32_t(2 * kStraight + kBend - s), int32_t(kRadius), 0}
                            : polar(kRadius, (s - 2 * kStraight - kBend) / kRadius + kPi / 2);
         return {11600000 + p.lng + noise, 3900000 + p.lat - noise, 0};
     }},
};

void BM_ThinShape(benchmark::State& state) {
    const Shape& shape = kShapes[state.range(0)];
    std::vector<TrackPoint> points;
    for (size_t i = 0; i < static_cast<size_t>(state.range(1)); ++i)
        points.push_back(shape.at(i));
    for (auto _ : state)
        benchmark::DoNotOptimize(simplifyTrack(points).data());
    state.SetLabel(shape.name);
}
BENCHMARK(BM_ThinShape)
    ->ArgsProduct({benchmark::CreateDenseRange(0, std::size(kShapes) - 1, 1), {100000, 1000000}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    driveFiles().removeAll();  // while the code page converters still exist
    benchmark::Shutdown();
    return 0;
}
