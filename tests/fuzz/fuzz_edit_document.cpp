// The editing document, whose text comes from the page or a script: whatever the text, reading
// ends with a document or a reason, and a document that was read is written as one that reads
// back to the same text.
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/edit_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EditReading first =
        readEditDocument(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!first.document) {
        if (first.refusal.empty()) std::abort();
        return 0;
    }
    const std::string text = writeEditDocument(*first.document);
    EditReading second = readEditDocument(text);
    if (!second.document || writeEditDocument(*second.document) != text) std::abort();
    return 0;
}
