// Track files from outside: reading must stay inside the file; the points it keeps go through the
// thinning and the document; a file read as stored and found exact encodes to its own bytes.
#include <cstdlib>

#include "formats/route_book_xml.h"
#include "formats/track_file.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzzInputFile(data, size, "trk");
    RouteBookData track;
    if (readTrackFile(track, path) == 0) return 0;
    std::string document;
    writeRouteBookXml(track, document, "fuzz");
    std::optional<StoredTrackFile> stored = readStoredTrack(path);
    if (!stored) std::abort();
    if (stored->exact && encodeTrackFile(stored->version, stored->segments) + stored->trailing !=
                             std::string(reinterpret_cast<const char*>(data), size))
        std::abort();
    return 0;
}
