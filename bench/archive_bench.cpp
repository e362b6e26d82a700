// Packing and unpacking a 20 MB route book with the program's archive helpers, against Info-ZIP's
// zip and unzip on the same files in the same run. Figures are bytes of route book per second.
//
//   cmake --preset release && cmake --build --preset release --target archive_bench
//   build/release/bench/archive_bench

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "formats/track_file.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/archive.h"

namespace {

namespace fs = std::filesystem;

// A route book of about 20 MB: a long recorded track (a random walk, as a drive records it) and
// a route file with its companions.
struct RouteBookOnDisk {
    fs::path root;
    uint64_t bytes = 0;

    RouteBookOnDisk() {
        root = fs::temp_directory_path() / ("vantu-archive-bench-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "set" / "R");
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) & 0x7FFF;
        };
        std::vector<TrackSegment> segments;
        for (int s = 0; s < 20; ++s) {
            TrackSegment segment;
            segment.lng = 11600000 + s * 1000;
            segment.lat = 3900000;
            segment.start = {2009, 3, 21, 10, 0, 0};
            segment.lineId = s;
            segment.steps.resize(100000);
            for (auto& step : segment.steps) {
                step.dLng = static_cast<int16_t>(static_cast<int>(next() % 61) - 30);
                step.dLat = static_cast<int16_t>(static_cast<int>(next() % 61) - 30);
                step.dTime = static_cast<uint16_t>(1000 + next() % 8);
            }
            segments.push_back(std::move(segment));
        }
        std::string set = (root / "set").string() + "/";
        writeTrackFile(set + "R.trk", kLongTrackVersion, segments);
        std::string text;
        for (int i = 0; i < 20000; ++i)
            text += "Day " + std::to_string(i) + ": along the river to the old town, " +
                    std::to_string(next()) + " m\n";
        platform::writeWholeFile(set + "R.sim", std::string(4096, '\0'));
        platform::writeWholeFile(set + "R/R.rut", text);
        platform::writeWholeFile(set + "R/R.tps", text.substr(0, 100000));
        for (const auto& f : fs::recursive_directory_iterator(root / "set"))
            if (f.is_regular_file()) bytes += f.file_size();
        // The package both unpackers read: made by Info-ZIP.
        run("cd '" + (root / "set").string() + "' && zip -q -r ../infozip.zip R.trk R.sim R");
    }
    ~RouteBookOnDisk() { fs::remove_all(root); }

    static void run(const std::string& command) {
        if (std::system(command.c_str()) != 0) std::abort();
    }
    std::string set() const { return (root / "set").string() + "/"; }
};

const RouteBookOnDisk& routeBook() {
    static RouteBookOnDisk instance;
    return instance;
}

void BM_PackOwn(benchmark::State& state) {
    const auto& rb = routeBook();
    std::string package = (rb.root / "own.zip").string();
    for (auto _ : state) {
        ArchiveWriter writer;
        writer.open(package, rb.set());
        for (const char* f : {"R.trk", "R.sim", "R/R.rut", "R/R.tps"})
            writer.addFile(rb.set() + f);
        writer.close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rb.bytes));
}

void BM_PackInfoZip(benchmark::State& state) {
    const auto& rb = routeBook();
    std::string package = (rb.root / "zip.zip").string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(package);
        state.ResumeTiming();
        RouteBookOnDisk::run("cd '" + rb.set() + "' && zip -q -r '" + package + "' R.trk R.sim R");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rb.bytes));
}

void BM_UnpackOwn(benchmark::State& state) {
    const auto& rb = routeBook();
    fs::path out = rb.root / "out-own";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
        ArchiveReader reader;
        reader.open((rb.root / "infozip.zip").string());
        reader.setOutputFolder(out.string());
        if (!reader.extractAll()) state.SkipWithError("extraction failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rb.bytes));
}

void BM_UnpackInfoZip(benchmark::State& state) {
    const auto& rb = routeBook();
    fs::path out = rb.root / "out-unzip";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
        RouteBookOnDisk::run("unzip -qq -o '" + (rb.root / "infozip.zip").string() + "' -d '" +
                             out.string() + "'");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rb.bytes));
}

BENCHMARK(BM_PackOwn)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_PackInfoZip)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_UnpackOwn)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(BM_UnpackInfoZip)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

}  // namespace
