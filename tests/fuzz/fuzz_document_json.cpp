// The terminal's JSON for the program's documents, whose text comes from the navigator: whatever
// the document, the conversion ends and gives one JSON object or nothing.
#include <cstdlib>
#include <string>

#include "cli/json_documents.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"GBK\" ?>" +
                             std::string(reinterpret_cast<const char*>(data), size);
    if (std::optional<std::string> json = cli::documentToJson(text)) {
        if (json->empty() || json->front() != '{' || json->back() != '}') std::abort();
    }
    return 0;
}
