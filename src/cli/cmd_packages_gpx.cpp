#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "build_config.h"
#include "cli.h"
#include "cli_program.h"
#include "formats/gpx.h"
#include "formats/route_file.h"
#include "formats/track_file.h"
#include "navigator_commands.h"
#include "options.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/local_install.h"

// GPX files between the PC and the navigator, beside the packages (cmd_packages.cpp):
// export-gpx and import-gpx.
namespace cli {
namespace {

// The files export-gpx reads (as given on the terminal) and the route book's name.
struct GpxSource {
    std::string trackPath;
    std::string routePath;
    std::string name;
};

// Copies the route book titled or named `given` from the navigator into a staging folder and
// names its files there. Nothing, with the exit status noted, when it cannot.
std::optional<GpxSource> fetchGpxSource(CliProgram& program, std::optional<StagingFolder>& staging,
                                        const std::string& given) {
    std::optional<std::string> fileName = findRouteBook(program, given, "export-gpx");
    if (!fileName) return std::nullopt;
    staging.emplace();
    if (!staging->ok() || !fetchRouteBook(program, staging->path(), *fileName)) {
        program.note(kExitFailed);
        return std::nullopt;
    }
    const std::string& folder = staging->path();
    return GpxSource{
        toTerminal(platform::joinPath(folder, *fileName + ".trk")),
        toTerminal(platform::joinPath(platform::joinPath(folder, *fileName), *fileName + ".rut")),
        toTerminal(*fileName)};
}

// Writes the source's track and route as GPX to `out`; the exit status. A route file given on
// the command line (`local`) must be readable.
int writeGpxFrom(const GpxSource& source, bool local, const std::string& out) {
    std::optional<std::vector<RecordedSegment>> track = readRecordedTrack(toAnsi(source.trackPath));
    if (!track) {
        std::fprintf(stderr, "vantu-cli export-gpx: %s is not a track file or cannot be opened\n",
                     source.trackPath.c_str());
        return kExitFile;
    }
    RouteBookData route;
    // A recorded track has no route file.
    const std::string routePath = toAnsi(source.routePath);
    if (!source.routePath.empty() && route.readRouteFile(routePath) == 0 &&
        (local || platform::fileExists(routePath))) {
        std::fprintf(stderr, "vantu-cli export-gpx: %s is not a route file or cannot be opened\n",
                     source.routePath.c_str());
        return kExitFile;
    }
    GpxDocument gpx = routeBookToGpx(route, *track, toAnsi(source.name));
    std::string text = writeGpx(gpx, std::string("vantu ") + build_config::kVersion);
    if (platform::OsError error; !platform::writeWholeFile(toAnsi(out), text, &error)) {
        std::fprintf(stderr, "vantu-cli export-gpx: cannot write %s: %s\n", out.c_str(),
                     toTerminal(error.text).c_str());
        return kExitFile;
    }
    return kExitOk;
}

// Writes the route book `given` of the navigator, or else the files of `source`, as GPX to
// `out`; the exit status.
int exportGpx(const Output& output, const std::optional<std::string>& given, GpxSource source,
              const std::string& out) {
    std::optional<CliProgram> program;
    std::optional<StagingFolder> staging;
    int status = kExitOk;
    if (given) {
        program.emplace(output);
        std::optional<GpxSource> fetched = fetchGpxSource(*program, staging, *given);
        if (!fetched) return program->exitCode();
        source = *fetched;
        status = program->exitCode();
    }
    if (source.name.empty()) source.name = baseName(source.trackPath);
    const int written = writeGpxFrom(source, !given, out);
    return written == kExitOk ? status : written;
}

int runExportGpx(const std::vector<std::string>& words) {
    Output output;
    std::optional<std::string> givenTrack, givenRoute;
    std::string name;
    ParsedOptions parsed;
    if (!takeOptions(words, output, "export-gpx",
                     {{"--track", &givenTrack}, {"--route", &givenRoute}, {"--name", &name}},
                     parsed))
        return kExitUsage;
    if (!parsed.missingValue.empty()) {
        std::fprintf(stderr, "vantu-cli export-gpx: unknown option %s\n",
                     parsed.missingValue.c_str());
        return kExitUsage;
    }
    const std::vector<std::string>& args = parsed.arguments;
    const bool local = givenTrack || givenRoute;
    GpxSource source{givenTrack.value_or(""), givenRoute.value_or(""), name};
    if (args.size() != (local ? 1u : 2u) || (local && source.trackPath.empty())) {
        std::fprintf(stderr,
                     "vantu-cli export-gpx: give NAME and OUT.gpx, or --track TRACK [--route "
                     "ROUTE] OUT.gpx\n");
        return kExitUsage;
    }
    const std::string out = args.back();
    // Paths given on the command line must reach the file system as given.
    for (const std::string& given : {out, source.trackPath, source.routePath})
        if (!given.empty() && !localPath(given, "export-gpx")) return kExitFile;
    return exportGpx(output, local ? std::nullopt : std::optional(args[0]), source, out);
}

// Says on standard error what of the GPX file was left out or read as '?'.
void warnOfLosses(const std::string& path, const GpxLoss& dropped, const GpxReader& reader) {
    if (dropped.count > 0)
        std::fprintf(stderr,
                     "vantu-cli import-gpx: %zu track points west of 0.001 E or south of 0.00001 "
                     "N were left out; the navigator cannot show them (%s)\n",
                     dropped.count, dropped.examples().c_str());
    if (const GpxLoss& invalid = reader.invalidText(); invalid.count > 0)
        std::fprintf(stderr,
                     "vantu-cli import-gpx: %s: %zu characters not valid in its encoding (%s) "
                     "were read as '?' (%s)\n",
                     path.c_str(), invalid.count, reader.encoding().c_str(),
                     invalid.examples().c_str());
    if (const GpxLoss& unheld = reader.unheldText(); unheld.count > 0)
        std::fprintf(stderr,
                     "vantu-cli import-gpx: %s: %zu characters the navigator's text (GBK) cannot "
                     "hold were read as '?' (%s)\n",
                     path.c_str(), unheld.count, unheld.examples().c_str());
}

// The GPX file read as a stream into a route book named `name`, with a warning for what was
// left out or read as '?'. Nothing, with the reason printed, when it cannot be read or used.
std::optional<GpxImport> readGpxFile(const std::string& ansiPath, const std::string& path,
                                     const std::string& name) {
    platform::OsError error;
    platform::File file(ansiPath, platform::OpenMode::Read, &error);
    GpxRouteBookBuilder builder(name);
    GpxReader reader(builder);
    std::vector<char> buffer(size_t{1} << 16);
    bool ok = true;
    while (size_t n = file.read(buffer.data(), buffer.size(), &error))
        if (!(ok = reader.feed(std::string_view(buffer.data(), n)))) break;
    if (error.failed()) {
        std::fprintf(stderr, "vantu-cli import-gpx: cannot read %s: %s\n", path.c_str(),
                     toTerminal(error.text).c_str());
        return std::nullopt;
    }
    if (!ok || !reader.finish()) {
        std::fprintf(stderr, "vantu-cli import-gpx: %s: %s\n", path.c_str(),
                     toTerminal(reader.error()).c_str());
        return std::nullopt;
    }
    std::optional<GpxImport> imported = builder.finish();
    if (!imported) {
        std::fprintf(stderr,
                     "vantu-cli import-gpx: %s holds no track point the navigator can show (it "
                     "shows points east of 0.001 E and north of 0.00001 N)\n",
                     path.c_str());
        return std::nullopt;
    }
    warnOfLosses(path, imported->dropped, reader);
    return imported;
}

int runImportGpx(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        std::fprintf(stderr, "vantu-cli import-gpx: give GPX, NAME and OUT.zip\n");
        return kExitUsage;
    }
    const std::string name = toAnsi(args[1]);
    StagingFolder staging;
    if (!staging.ok()) {
        std::fprintf(stderr,
                     "vantu-cli import-gpx: cannot make a folder in the temporary folder\n");
        return kExitFile;
    }
    if (!takesRouteBookName(args[1], platform::joinPath(staging.path(), ""), "import-gpx", ""))
        return kExitUsage;
    std::optional<std::string> gpxPath = localPath(args[0], "import-gpx");
    std::optional<std::string> outPath = localPath(args[2], "import-gpx");
    if (!gpxPath || !outPath) return kExitFile;
    std::optional<GpxImport> imported = readGpxFile(*gpxPath, args[0], name);
    if (!imported) return kExitFile;
    const std::string folder = staging.path();
    const std::string package = platform::joinPath(folder, name + ".zip");
    if (!writeImportPackage(*imported, name, folder)) {
        std::fprintf(stderr, "vantu-cli import-gpx: cannot write the package in %s\n",
                     toTerminal(folder).c_str());
        return kExitFile;
    }
    return writeOut(package, *outPath, args[2], "import-gpx") ? kExitOk : kExitFile;
}

const CliCommand kExportGpx({
    "export-gpx",
    "export-gpx [--ansi] [--page-calls] NAME OUT.gpx | export-gpx --track TRACK [--route ROUTE] "
    "[--name NAME] OUT.gpx",
    "write a route book's track, places and legs as a GPX 1.1 file",
    "Writes the route book titled or named NAME on the connected navigator, or the track file\n"
    "TRACK with the route file ROUTE from the PC, as GPX 1.1 (UTF-8): every point of the track\n"
    "at full resolution, one <trk> per line number with one <trkseg> per recorded segment, and\n"
    "each point's time where its segment has a start time (read as local time, written as\n"
    "UTC); the route book's places as waypoints and its legs as the points of a route; its\n"
    "name, description and author as the metadata.\n\n"
    "Exit status: 0 written, 1 no navigator, 2 usage, 3 no such route book or a copy failed,\n"
    "4 a file cannot be read or OUT.gpx cannot be written.\n\n"
    "Examples:\n"
    "  scripts/navsim-run /tmp/nav vantu-cli export-gpx Day1 Day1.gpx\n"
    "  vantu-cli export-gpx --track Day1.trk --route Day1/Day1.rut Day1.gpx\n",
    runExportGpx,
});

const CliCommand kImportGpx({
    "import-gpx",
    "import-gpx GPX NAME OUT.zip",
    "make a route book package from a GPX file, ready for install",
    "Reads the GPX file (1.0 or 1.1, in UTF-8, UTF-16 or the GBK or GB2312 it declares, at\n"
    "most 1024 MiB) as a stream and writes the route book package OUT.zip holding NAME.trk\n"
    "with every track point (the navigator shows points east of 0.001 E and north of 0.00001\n"
    "N; others are left out with a warning) and their times, and NAME\\NAME.rut with a Book\n"
    "record (the track's length and middle point, the GPX description), a place per waypoint\n"
    "and a leg per route point (one leg for the whole track when there is no route). Text that\n"
    "is not valid in the file's encoding, or that GBK cannot hold, is read as '?' with a\n"
    "warning naming where.\n\n"
    "Exit status: 0 written, 2 usage or a NAME the navigator cannot hold, 4 the GPX file\n"
    "cannot be read, is not GPX or has no track point to keep, or OUT.zip cannot be written.\n\n"
    "Example:\n"
    "  vantu-cli import-gpx ride.gpx Ride ride.zip && vantu-cli install ride.zip\n",
    runImportGpx,
});

}  // namespace
}  // namespace cli
