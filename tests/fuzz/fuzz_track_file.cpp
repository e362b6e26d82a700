// Track files from outside: reading must stay inside the file; the points it keeps go through the
// thinning and the document.
#include "formats/route_book_xml.h"
#include "formats/track_file.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RouteBookData track;
    if (readTrackFile(track, fuzzInputFile(data, size, "trk")) == 0) return 0;
    std::string document;
    writeRouteBookXml(track, document, "fuzz");
    return 0;
}
