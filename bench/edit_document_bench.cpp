// The program's part of opening a route book in the editor and saving it back unchanged: its set
// of files (a recorded drive of 100,000 points, a route file with places and legs, the companion
// files) turned into the editing document, and the document checked and written back as the
// set's files. The navigator's copies, before and after, are not part of it.
//
//   cmake --preset release && cmake --build --preset release -j2 --target edit_document_bench
//   build/release/bench/edit_document_bench

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "formats/sample_track.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/route_book_edit.h"

namespace {

// A folder in the temporary folder with the set "Drive", removed at the end.
class SetFolder {
  public:
    explicit SetFolder(size_t points) : root_(platform::tempFolder() + "vantu-bench-edit") {
        platform::removeTree(root_);
        platform::createFolder(root_);
        SampleDriveOptions options;
        options.points = points;
        options.seed = 2009;
        const std::vector<TrackSegment> drive = sampleDrive(options);
        const std::string base = platform::joinPath(root_, "Drive");
        writeTrackFile(base + ".trk", kLongTrackVersion, drive);
        platform::writeWholeFile(base + ".sim", std::string(16, '\0'));
        platform::createFolder(base);
        RouteBookData route;
        for (int i = 0; i < 50; ++i) {
            auto r = std::make_unique<RouteRecord>();
            r->kind = i == 0 ? RecordKind::Book : i % 2 ? RecordKind::Poi : RecordKind::Line;
            r->title = {u'P', static_cast<char16_t>(u'0' + i % 10)};
            r->content = u"A place along the drive, with a few words about it.";
            route.records.push_back(std::move(r));
        }
        route.writeRouteFile(platform::joinPath(base, "Drive.rut"));
        platform::writeWholeFile(platform::joinPath(base, "Drive.tps"), std::string(8, '\0'));
    }
    ~SetFolder() { platform::removeTree(root_); }
    const std::string& path() const { return root_; }

  private:
    std::string root_;
};

SetFolder& setOf(size_t points) {
    static std::unique_ptr<SetFolder> folder;
    static size_t made = 0;
    if (!folder || made != points) {
        folder.reset();
        folder = std::make_unique<SetFolder>(points);
        made = points;
    }
    return *folder;
}

void BM_OpenAsDocument(benchmark::State& state) {
    const SetFolder& set = setOf(static_cast<size_t>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        SetDocument read = readRouteBookSet(set.path(), "Drive");
        std::string text = writeEditDocument(*read.document);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["document_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_OpenAsDocument)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SaveDocument(benchmark::State& state) {
    const SetFolder& set = setOf(static_cast<size_t>(state.range(0)));
    const std::string text = writeEditDocument(*readRouteBookSet(set.path(), "Drive").document);
    const std::string out = set.path() + "-out";
    for (auto _ : state) {
        platform::removeTree(out);
        platform::createFolder(out);
        EditReading reading = readEditDocument(text);
        std::string refusal = writeRouteBookSet(*reading.document, out, "Drive");
        benchmark::DoNotOptimize(refusal.data());
    }
    platform::removeTree(out);
}
BENCHMARK(BM_SaveDocument)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
