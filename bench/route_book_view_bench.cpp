// Viewing a route book with a long track: read the track file, thin it to the print list and
// write the document, for generated drives of 10,000 to 1,000,000 points; the thinning alone on
// the shapes that make Douglas-Peucker slow, which should stay within a few times the drive of the
// same length; and, for comparison, the drive with every range scanned and thinning again for
// every tolerance as the plain method does.
//
//   cmake --preset release && cmake --build --preset release -j2 --target route_book_view_bench
//   build/release/bench/route_book_view_bench

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
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

// Shapes that unbalance the split tree.
std::vector<TrackPoint> shape(int which, size_t n) {
    std::vector<TrackPoint> p;
    for (size_t i = 0; i < n; ++i) {
        int32_t k = static_cast<int32_t>(i);
        switch (which) {
            case 0:  // zig-zag growing wider: every split next to the range's end
                p.push_back({k * 10, (i % 2 ? 1 : -1) * k, 0});
                break;
            case 1: {  // spiral
                double a = 0.05 * static_cast<double>(i);
                double r = 1000 + 3.0 * static_cast<double>(i);
                p.push_back({static_cast<int32_t>(std::lround(r * std::cos(a))),
                             static_cast<int32_t>(std::lround(r * std::sin(a))), 0});
                break;
            }
            case 2: {  // circle traced many times
                double a = 0.01 * static_cast<double>(i);
                p.push_back({static_cast<int32_t>(std::lround(100000 * std::cos(a))),
                             static_cast<int32_t>(std::lround(100000 * std::sin(a))), 0});
                break;
            }
            default:  // back and forth along one line in runs of growing length: ties everywhere
                int32_t run = static_cast<int32_t>(std::sqrt(static_cast<double>(i)));
                p.push_back({(run % 2 ? 1 : -1) * (k - run * run) * 10, 0, 0});
                if (i % 1000 == 0) p.back().lat = 100;
        }
    }
    return p;
}

void BM_ThinShape(benchmark::State& state) {
    std::vector<TrackPoint> points =
        shape(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(simplifyTrack(points).data());
    static const char* kNames[] = {"widening zig-zag", "spiral", "circle traced again",
                                   "collinear runs"};
    state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_ThinShape)
    ->ArgsProduct({{0, 1, 2, 3}, {100000, 1000000}})
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
