// Route files from outside: reading must stay inside the file, and whatever it accepts must
// write back and read again as the same records; a file read as stored and found exact must
// encode to its own bytes.
#include <cstdlib>

#include "formats/route_book_xml.h"
#include "formats/route_file.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzzInputFile(data, size, "rut");
    RouteBookData first;
    if (first.readRouteFile(path) == 0) return 0;
    std::string document;
    writeRouteBookXml(first, document, "fuzz");

    static const std::string copy = path + ".copy";
    if (first.writeRouteFile(copy) != 1) std::abort();
    RouteBookData second;
    if (second.readRouteFile(copy) != 1 || second.records.size() != first.records.size())
        std::abort();
    for (size_t i = 0; i < first.records.size(); ++i) {
        const RouteRecord& a = *first.records[i];
        const RouteRecord& b = *second.records[i];
        if (a.title != b.title || a.kind != b.kind || a.mileage != b.mileage ||
            a.param1 != b.param1 || a.param2 != b.param2 || a.lng != b.lng || a.lat != b.lat ||
            a.content != b.content || a.img != b.img)
            std::abort();
    }
    std::remove(copy.c_str());
    std::optional<StoredRouteFile> stored = readStoredRouteFile(path);
    if (!stored) std::abort();
    if (stored->exact && encodeRouteFile(stored->data, RouteIndex::Kept) + stored->trailing !=
                             std::string(reinterpret_cast<const char*>(data), size))
        std::abort();
    return 0;
}
