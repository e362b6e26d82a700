// The page's texts for the import (its item list) and for the saved places (places to add, ids
// to delete), read with TinyXML and by hand: whatever the text, stores of every layout keep
// whole records and the count that matches them, names stay inside their area, and text the
// bounds let through never makes TinyXML nest deeper than they allow.
#include <tinyxml.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "formats/xml_bounds.h"

#include "ops/poi_operations.h"
#include "ops/poi_store.h"
#include "tasks/import_worker.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

PoiStore storeOf(int32_t version, int records) {
    PoiStore store;
    store.header.version = version;
    store.header.count = records;
    size_t size = PoiStore::recordSize(version);
    for (int i = 0; size != 0 && i < records; ++i) {
        PoiRecord record(size, static_cast<uint8_t>(0x40 + i));
        PoiStore::setRecordInt(record, PoiStore::kNameOffset, 0);
        store.records.push_back(record);
    }
    return store;
}

void checkWhole(const PoiStore& store) {
    size_t size = PoiStore::recordSize(store.header.version);
    if (size == 0) {
        check(store.records.empty());
        return;
    }
    check(store.header.count >= 0 &&
          static_cast<size_t>(store.header.count) == store.records.size());
    for (const PoiRecord& r : store.records) {
        check(r.size() == size);
        check(PoiStore::recordName(r).size() <= PoiStore::kMaxNameUnits);
    }
}

// The deepest element nesting TinyXML built, found without recursion.
size_t builtDepth(const TiXmlDocument& document) {
    size_t deepest = 0;
    std::vector<std::pair<const TiXmlNode*, size_t>> pending{{&document, 0}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        if (depth > deepest) deepest = depth;
        for (const TiXmlNode* n = node->FirstChild(); n; n = n->NextSibling())
            if (n->ToElement()) pending.emplace_back(n, depth + 1);
    }
    return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TiXmlDocument document;
    std::string refusal;
    if (parseBoundedXml(document, text, kPageArgumentLimits, refusal))
        check(builtDepth(document) <= kMaxXmlDepth);

    if (auto items = readImportItems(text)) {
        for (const ImportItem& item : *items)
            check(item.url.find('%') == std::string::npos);
    }

    for (int32_t version : {1, 2, 4, 0, 6}) {
        PoiStore added = storeOf(version, 2);
        int result = addPois(added, text);
        check(result == 1 || result == -1);
        checkWhole(added);
        if (!added.versionHandled()) check(added.header.count == 2);
        if (result == -1 || !added.versionHandled())
            check(added.records == storeOf(version, 2).records);
        // The places already there stay, behind the new ones.
        for (size_t i = 0; i < 2 && added.versionHandled(); ++i)
            check(added.records[added.records.size() - 2 + i] == storeOf(version, 2).records[i]);
        buildPoiListXml(added);

        const PoiStore before = storeOf(version, 5);
        PoiStore shrunk = before;
        result = deletePois(shrunk, text);
        check(result == 1 || result == -1);
        checkWhole(shrunk);
        if (!before.versionHandled()) check(shrunk.header.count == before.header.count);
        // What is left is the store before less some records, in their order.
        size_t next = 0;
        for (const PoiRecord& r : shrunk.records) {
            while (next < before.records.size() && before.records[next] != r)
                ++next;
            check(next < before.records.size());
            ++next;
        }
        if (result == -1) check(shrunk.records == before.records);
    }
    return 0;
}
