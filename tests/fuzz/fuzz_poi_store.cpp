// Saved-place stores from the navigator: reading stays inside the file, the list document is
// well-formed, and a store edited and written back reads again as the same records (an
// unedited one byte for byte).
//
// Input: one byte of edits (bits 0-1: places to add, bit 2: delete), a line of ids to delete,
// then the store file.
#include <tinyxml.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input_file.h"
#include "ops/poi_operations.h"
#include "ops/poi_store.h"

namespace {

std::vector<uint8_t> readAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t piece[4096];
        while (size_t got = std::fread(piece, 1, sizeof piece, f))
            bytes.insert(bytes.end(), piece, piece + got);
        std::fclose(f);
    }
    return bytes;
}

void check(bool ok) {
    if (!ok) std::abort();
}

// The list must parse back with one element per record held.
void checkList(const PoiStore& store) {
    std::string list = buildPoiListXml(store);
    if (list.empty()) return;
    TiXmlDocument document;
    document.Parse(list.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    check(!document.Error());
    const TiXmlElement* root = document.FirstChildElement("point");
    check(root != nullptr);
    size_t listed = 0;
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement())
        ++listed;
    check(listed == store.records.size());
}

const char* const kPlaces[] = {
    "<p lng=\"11600000\" lat=\"3900000\">Home</p>",
    "<p lng=\"-2147483648\" lat=\"2147483647\">a &lt;b&gt; &amp; c: forty-one chars long</p>",
    "<p>\xB1\xB1\xBE\xA9</p>",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t edits = data[0];
    const uint8_t* rest = data + 1;
    size_t restSize = size - 1;
    const void* newline = std::memchr(rest, '\n', restSize);
    size_t idsSize = newline ? static_cast<size_t>(static_cast<const uint8_t*>(newline) - rest) : 0;
    std::string ids(reinterpret_cast<const char*>(rest), idsSize);
    if (newline) {
        rest += idsSize + 1;
        restSize -= idsSize + 1;
    }

    const std::string& path = fuzzInputFile(rest, restSize, "poi");
    const std::vector<uint8_t> original(rest, rest + restSize);
    PoiStore store;
    int read = store.readPoiStore(path);
    // Read whole or up to a short record; anything else leaves no records.
    const bool handled = read == 0 || read == -3;
    if (handled) {
        check(store.versionHandled());
        check(store.header.count >= 0 &&
              static_cast<size_t>(store.header.count) == store.records.size());
        for (const PoiRecord& r : store.records)
            check(r.size() == PoiStore::recordSize(store.header.version));
    } else {
        check(store.records.empty());
    }
    checkList(store);

    const PoiStore before = store;
    std::string text;
    for (int i = 0; i < (edits & 3); ++i)
        text += kPlaces[i];
    if (!text.empty()) check(addPois(store, text) == 1);
    bool deleted = false;
    if (edits & 4) {
        PoiStore kept = store;
        int result = deletePois(store, ids);
        check(result == 1 || result == -1);
        if (result == -1)
            check(store.records == kept.records && store.header.count == kept.header.count);
        deleted = result == 1 && store.records.size() != kept.records.size();
    }
    if (!handled) {
        // A store the program cannot read is never changed by an edit.
        if (!before.versionHandled())
            check(store.records.empty() && store.header.count == before.header.count);
        return 0;
    }
    check(static_cast<size_t>(store.header.count) == store.records.size());
    checkList(store);

    // Written over the original file, which is not truncated: the records read back are the
    // ones written.
    static const std::string copy = path + ".copy";
    FILE* f = std::fopen(copy.c_str(), "wb");
    check(f != nullptr);
    if (restSize > 0) std::fwrite(rest, 1, restSize, f);
    std::fclose(f);
    check(store.writePoiStore(copy) == 0);
    PoiStore again;
    check(again.readPoiStore(copy) == 0);
    const PoiHeader& a = again.header;
    const PoiHeader& b = store.header;
    check(a.count == b.count && a.reserved4 == b.reserved4 && a.reserved8 == b.reserved8 &&
          a.version == b.version && a.reserved16 == b.reserved16);
    check(again.records == store.records);
    if (read == 0 && text.empty() && !deleted) check(readAll(copy) == original);
    std::remove(copy.c_str());
    return 0;
}
