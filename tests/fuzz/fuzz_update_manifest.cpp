// The update manifest as a server may send it: whatever the text, reading it ends, TinyXML never
// sees nesting beyond the limit, and every command read has a name.
#include <cstdlib>
#include <string>

#include "update/update_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string refusal;
    if (auto blocks = readUpdateManifest(text, &refusal)) {
        if (!refusal.empty()) std::abort();
        for (const UpdateBlock& block : *blocks)
            for (const UpdateCommand& command : block)
                if (command.name.empty()) std::abort();
    }
    return 0;
}
