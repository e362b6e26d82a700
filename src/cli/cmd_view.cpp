#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "formats/route_book_xml.h"
#include "formats/route_file.h"
#include "formats/text_encoding.h"
#include "formats/track_conversion.h"
#include "formats/track_file.h"
#include "formats/track_summary.h"
#include "options.h"

namespace cli {
namespace {

// Reads the track (unless "-") and the route file into `data`; kExitFile, said on standard
// error, when one cannot be read.
int readViewed(const std::vector<std::string>& files, const std::string& track,
               RouteBookData& data) {
    int status = kExitOk;
    if (!track.empty() && readTrackFile(data, track) == 0) {
        std::fprintf(stderr, "vantu-cli view: %s is not a track file or cannot be opened\n",
                     files[0].c_str());
        status = kExitFile;
    }
    if (files.size() == 2 && data.readRouteFile(toAnsi(files[1])) == 0) {
        std::fprintf(stderr, "vantu-cli view: %s is not a route file or cannot be opened\n",
                     files[1].c_str());
        status = kExitFile;
    }
    return status;
}

// The track's summary, named by the Book record's title as the document is, without its last
// line end.
std::string viewSummary(const RouteBookData& data, const std::string& track, std::string name) {
    for (const auto& r : data.records)
        if (r->kind == RecordKind::Book) {
            name = fieldToAnsi(r->title.data(), r->title.size());
            break;
        }
    std::vector<RecordedSegment> segments;
    if (!track.empty()) segments = readRecordedTrack(track).value_or(segments);
    std::string document = formatTrackSummary(summarizeTrack(segments, name));
    document.pop_back();
    return document;
}

int runView(const std::vector<std::string>& args) {
    bool ansi = false;
    bool summary = false;
    std::vector<std::string> names;
    ParsedOptions parsed =
        parseOptions(args, {{"--ansi", &ansi}, {"--summary", &summary}, {"--name", &names}},
                     {.unknownIsArgument = true});
    std::vector<std::string>& files = parsed.arguments;
    // Anything else is a file, even a last --name without its value.
    if (!parsed.missingValue.empty()) files.push_back(parsed.missingValue);
    if (files.empty() || files.size() > 2) {
        std::fprintf(stderr, "vantu-cli view: give TRACK (or -) and optionally ROUTE\n");
        return kExitUsage;
    }
    for (const std::string& file : files)
        if (file != "-" && !localPath(file, "view")) return kExitFile;
    RouteBookData data;
    data.clearRouteBookData();
    const std::string track = files[0] == "-" ? std::string() : toAnsi(files[0]);
    const int status = readViewed(files, track, data);
    const std::string name =
        !names.empty() ? toAnsi(names.back())
                       : baseName(track.empty() && files.size() == 2 ? toAnsi(files[1]) : track);
    std::string document;
    if (summary)
        document = viewSummary(data, track, name);
    else
        writeRouteBookXml(data, document, name);
    std::string out = forOutput(document, ansi);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);  // also ends the summary's last line
    return status;
}

int runConvertTrack(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        std::fprintf(stderr, "vantu-cli convert-track: give TRACK (or -), NAME and OUT\n");
        return kExitUsage;
    }
    if ((args[0] != "-" && !localPath(args[0], "convert-track")) ||
        !localPath(args[2], "convert-track"))
        return kExitFile;
    std::string track = toAnsi(args[0]);
    std::string out = toAnsi(args[2]);
    RouteBookData data;
    convertTrackToRouteBook(data, out, toAnsi(args[1]), args[0] == "-" ? nullptr : &track);
    if (args[0] != "-" && data.points.empty())
        std::fprintf(stderr, "vantu-cli convert-track: no track points in %s; mileage 0\n",
                     args[0].c_str());
    RouteBookData written;
    if (written.readRouteFile(out) == 0) {
        std::fprintf(stderr, "vantu-cli convert-track: could not write %s\n", args[2].c_str());
        return kExitFile;
    }
    return 0;
}

const CliCommand kView({
    "view",
    "view [--ansi] [--summary] [--name NAME] TRACK [ROUTE]",
    "print the route book document (or a summary) of a track file and a route file",
    "Reads TRACK as a track file (.trk; '-' for none) and then ROUTE as a route file (.rut),\n"
    "as viewing a route book on the navigator does, and prints the route book document that\n"
    "the page would receive: UTF-8 (its declaration then says UTF-8), or with --ansi the exact\n"
    "ANSI (GBK) bytes. Without a Book record in ROUTE the document is named NAME, by default\n"
    "TRACK's (else ROUTE's) file name without its extension. With --summary it prints instead\n"
    "the route book's name, the track's points and segments, its length, its start and end and\n"
    "the time span of its timed points. A file that cannot be read is reported on standard\n"
    "error and the output is made from what could be read; the exit status is then 4.\n\n"
    "Examples:\n"
    "  vantu-cli view Day1.trk Day1/Day1.rut\n"
    "  vantu-cli view --summary Day1.trk Day1/Day1.rut\n"
    "  vantu-cli view --name 'Drive home' drive.trk\n",
    runView,
});

const CliCommand kConvertTrack({
    "convert-track",
    "convert-track TRACK NAME OUT",
    "write the route file that uploading a bare track makes for it",
    "Turns the track file TRACK ('-' for none) into the minimal route file that uploading a\n"
    "route book without its route file creates: a Book record named NAME (its first 19\n"
    "UTF-16 units) telling the user to complete it and one Line record, both carrying the\n"
    "track's length in metres and its middle point. Writes it to OUT; the exit status is 4 when\n"
    "OUT could not be written.\n\n"
    "Example:\n"
    "  vantu-cli convert-track Day1.trk Day1 Day1/Day1.rut\n",
    runConvertTrack,
});

}  // namespace
}  // namespace cli
