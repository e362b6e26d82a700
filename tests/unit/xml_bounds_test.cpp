#include "formats/xml_bounds.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <functional>
#include <utility>
#include <vector>

#include "cli/json_documents.h"
#include "formats/gpx.h"
#include "tasks/import_worker.h"
#include "update/update_check.h"

namespace {

std::string repeated(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// The deepest element nesting of what TinyXML built, found without recursion.
size_t tinyXmlDepth(const std::string& text) {
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    size_t deepest = 0;
    std::vector<std::pair<const TiXmlNode*, size_t>> pending;
    for (const TiXmlNode* n = document.FirstChild(); n; n = n->NextSibling())
        pending.emplace_back(n, 0);
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        if (node->ToElement() == nullptr) continue;
        deepest = std::max(deepest, depth + 1);
        for (const TiXmlNode* n = node->FirstChild(); n; n = n->NextSibling())
            pending.emplace_back(n, depth + 1);
    }
    return deepest;
}

TEST(XmlBoundsTest, EveryReaderRefusesWhatIsTooDeepOrTooLarge) {
    const std::string deep = repeated("<a>", 40000);
    std::string attributes;
    for (int i = 0; i < 300; ++i)
        attributes += " a" + std::to_string(i) + "='1'";
    using Reader = std::function<std::string(const std::string&)>;
    const Reader importItems = [](const std::string& text) {
        return readImportItems(text) ? "read" : "refused";
    };
    const Reader manifest = [](const std::string& text) {
        std::string refusal = "read";
        readUpdateManifest(text, &refusal);
        return refusal;
    };
    const Reader json = [](const std::string& text) {
        std::string refusal = "read";
        cli::documentToJson(text, &refusal);
        return refusal;
    };
    const Reader gpx = [](const std::string& text) {
        GpxDocument document;
        std::string error = "read";
        readGpx(text, document, error);
        return error;
    };
    const struct Case {
        const char* label;
        const Reader& reader;
        std::string text;
        const char* reason;
    } cases[] = {
        {"page: import items nested", importItems, "<rb>" + deep, "refused"},
        {"page: import items larger than 1 MiB", importItems,
         "<rb><url>" + std::string(1 << 20, 'u') + "</url></rb>", "refused"},
        {"manifest nested", manifest, "<do><b>" + deep, "nested deeper than 256 levels"},
        {"manifest with 300 attributes", manifest, "<do><b><c" + attributes + "/></b></do>",
         "more than 256 attributes"},
        {"document to JSON nested", json, "<?xml version=\"1.0\" ?><RouteBook>" + deep,
         "nested deeper than 256 levels"},
        {"GPX nested", gpx, "<gpx>" + deep, "nested deeper than 256 levels (at line 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_NE(c.reader(c.text).find(c.reason), std::string::npos) << c.reader(c.text);
    }
}

// The walk must count every level TinyXML builds, also where text that looks like markup is
// none for TinyXML (and the other way round), and must not refuse what TinyXML keeps shallow.
TEST(XmlBoundsTest, TheWalkCountsTheNestingTinyXmlBuilds) {
    const size_t n = 300;
    const std::string cases[] = {
        repeated("<a>", n),
        repeated("<a>", 256),
        repeated("<a >", 257),
        repeated("<a><!--</a>-->", n),
        repeated("<a x=\"</a>\">", n),
        repeated("<a x='/>'>", n),
        repeated("<a x=1>", n),
        repeated("<a><![CDATA[</a>]]>", n),
        "<r>" + repeated("<a>&#</a>#5;", n),
        "<r>" + repeated("<a>&#x</a>x5;", n),
        repeated("<a x=\"&#\"/>#1;\">", n),
        "<r>" + repeated("<a>&#</a>5;</a>", n),
        repeated("<a></a >", 10 * n),
        repeated("<a/>", n),
        "<r><!--" + repeated("<a>", n) + "--></r>",
        "<?xml version=\"" + repeated("<a>", n) + "\" ?><r/>",
        "<?xml other=\"" + repeated("<a>", n) + "\" ?>",
        "<!DOCTYPE r [<!ENTITY e \"x\">]>" + repeated("<a>", n),
        "<r/>text" + repeated("<a>", n),
        "<!x>" + repeated("<a>", n),
        "<" + repeated("<a>", n),
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        size_t built = tinyXmlDepth(text);
        EXPECT_EQ(tinyXmlRefusal(text, kPageArgumentLimits).has_value(), built > kMaxXmlDepth)
            << "TinyXML builds " << built << " levels";
    }
}

}  // namespace
