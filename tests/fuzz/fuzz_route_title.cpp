// The route book list reads only the first record's title, from any file at all.
#include "formats/route_file.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readFirstRecordTitle(fuzzInputFile(data, size, "rut"));
    return 0;
}
