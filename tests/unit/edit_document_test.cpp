#include "formats/edit_document.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tasks/route_book_edit.h"

namespace {

// A small document that passes, for the cases to spoil one part of.
const std::string kValid =
    R"({"format":"vantu-route-book","formatVersion":1,"name":"Day1",)"
    R"("route":{"version":259,"author":"Li","records":[)"
    R"({"kind":"poi","title":"Gate","lng":11639000,"lat":3990000,"text":"x"}]},)"
    R"("track":{"version":257,"segments":[{"lineId":1,"marker":1,)"
    R"("points":[[11639000,3990000,0],[11639100,3990100,1000]]}]},)"
    R"("sim":"AAAA","folderFiles":[{"name":"Day1.tps","data":"AAAA"}]})";

std::string with(std::string_view from, std::string_view to) {
    std::string text = kValid;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The reason a document is refused as edit-import checks it: read, then its files named.
std::string refusalOf(const std::string& json) {
    EditReading reading = readEditDocument(json);
    if (!reading.document) return reading.refusal;
    TempDir dir;
    return writeRouteBookSet(*reading.document, dir.path(), "A");
}

std::string manyRecords(size_t n) {
    std::string records;
    for (size_t i = 0; i < n; ++i)
        records += std::string(i ? "," : "") + R"({"kind":"poi","lng":0,"lat":0})";
    return with(R"({"kind":"poi","title":"Gate","lng":11639000,"lat":3990000,"text":"x"})",
                records);
}

TEST(EditDocumentTest, BadDocumentsAreRefusedWithTheirReason) {
    ASSERT_EQ(refusalOf(kValid), "");
    const std::string step =
        " from the point before; a segment's steps are -32768 to 32767 each "
        "way (start a segment there, or add points between)";
    struct Case {
        std::string json;
        std::string reason;  // a reason ending in "..." is compared up to there
    } cases[] = {
        {"{", "not JSON: parse error at line 1, column 2: ..."},
        {std::string(edit_limits::kDocumentBytes + 1, ' '),
         "the document is 67108865 bytes, at most 67108864"},
        {"[[[[[[[1]]]]]]]", "nested deeper than 6 levels"},
        {with(R"("format":)", R"("format":"x","format":)"),
         "the field format is given twice in one object"},
        {with(R"("name":)", R"("colour":1,"name":)"), "colour: not a field of the format"},
        {with(R"("text":"x")", R"("text":"x","colour":1)"),
         "route.records[0].colour: not a field of the format"},
        {with(R"("vantu-route-book")", R"("gpx")"), R"(format: not "vantu-route-book")"},
        {with(R"("formatVersion":1)", R"("formatVersion":2)"),
         "formatVersion: this program reads version 1"},
        {with(R"("track")", R"("trace")"), "trace: not a field of the format"},
        {R"({"format":"vantu-route-book","formatVersion":1,"route":null,"track":{"segments":[]}})",
         "route: not an object"},
        {with(R"("version":259)", R"("version":257)"),
         "route.version: below 258, a version the navigator does not read"},
        {with(R"("title":"Gate")", R"("title":"😀😀😀😀😀😀😀😀😀😀a")"),
         "route.records[0].title: 21 UTF-16 units, at most 20"},
        {with(R"("text":"x")", R"("text":[120,70000])"),
         "route.records[0].text[1]: 70000 is out of range (0 to 65535)"},
        {with(R"("lng":11639000)", R"("lng":18000001)"),
         "route.records[0].lng: 18000001 is out of range (-18000000 to 18000000)"},
        {with(R"("lat":3990000)", R"("lat":39.9)"), "route.records[0].lat: not an integer"},
        {with(R"("kind":"poi")", R"("kind":"place")"),
         "route.records[0].kind: not a kind (book, poi, line, or a number for another)"},
        {with(R"("kind":"poi")", R"("kind":1)"),
         "route.records[0].kind: kinds 0, 1 and 2 are written book, poi and line"},
        {with(R"("kind":"poi",)", ""), "route.records[0].kind: missing"},
        {with(R"("records":[)", R"("recordIndex":[1,2],"records":[)"),
         R"(route.recordIndex: neither "offsets" nor one number for each record)"},
        {manyRecords(edit_limits::kRecords + 1), "route.records: 10001 entries, at most 10000"},
        {with(R"("version":257)", R"("version":256)"),
         "track.segments[0].lineId: the short layout (version 256) has no line numbers"},
        {with(R"("marker":1)", R"("marker":0)"),
         "track.segments[0].marker: 0, which ends the track"},
        {with("[11639100,3990100,1000]", "[11671768,3990100,1000]"),
         "track.segments[0].points[1]: a step of 32768, 100" + step},
        {with("[11639100,3990100,1000]", "[11639100,3990100,65536]"),
         "track.segments[0].points[1][2]: 65536 is out of range (0 to 65535)"},
        {with("[11639100,3990100,1000]", "[11639100,3990100]"),
         "track.segments[0].points[1]: not [lng, lat, ms] or [lng, lat, ms, unused, fifth]"},
        {with(R"("sim":"AAAA")", R"("sim":"AB=C")"),
         "sim: not Base64 text (padded, without white space)"},
        {with(R"("name":"Day1.tps")", R"("name":"../x")"),
         R"(folderFiles[0].name: holds a character a file name cannot (control, \ / : * ? " < > |))"},
        {with(R"("name":"Day1.tps")", R"("name":".tps")"),
         "folderFiles[0].name: starts with a dot or ends with a dot or space"},
        {with(R"({"name":"Day1.tps","data":"AAAA"})",
              R"({"name":"a.jpg","data":""},{"name":"A.JPG","data":""})"),
         "folderFiles[1].name: the navigator takes it for another file of the set (letter "
         "case aside)"},
        {with(R"({"name":"Day1.tps","data":"AAAA"})", R"({"name":"day1.RUT","data":""})"),
         "folderFiles[0].name: the navigator takes it for another file of the set (letter "
         "case aside)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.substr(0, 200));
        const std::string got = refusalOf(c.json);
        if (c.reason.ends_with("..."))
            EXPECT_EQ(got.substr(0, c.reason.size() - 3), c.reason.substr(0, c.reason.size() - 3));
        else
            EXPECT_EQ(got, c.reason);
    }
}

// Each warning names its field; the characters themselves are edit_text's.
TEST(EditDocumentTest, WarningsNameTheFieldOfWhatTheNavigatorCannotShow) {
    std::string json = with(R"("title":"Gate")", R"("title":"Gr\u00fc\u00dfe")");
    json.replace(json.find(R"("text":"x")"), 10, R"("text":"a\tb\u0000c")");
    json.replace(json.find("]}]}"), 4, R"(]},{"points":[[50,3990000,0],[60,3990000,0]]}]})");
    EditReading reading = readEditDocument(json);
    ASSERT_TRUE(reading.document) << reading.refusal;
    std::vector<std::pair<std::string, std::string>> got;
    for (const EditWarning& w : reading.warnings)
        got.emplace_back(w.field, w.reason);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                       {"route.records[0].title",
                        "1 character the navigator cannot show, the first U+00DF at unit 3: "
                        "outside its character set (GBK)"},
                       {"route.records[0].text",
                        "1 character the navigator cannot show, the first U+0000 at unit 3: a "
                        "NUL, which ends the text on its screen and hides what follows"},
                       {"track.segments[1].points[0]",
                        "2 track point(s) west of 0.001 E or south of 0.00001 N, which the "
                        "navigator does not show; this is the first"},
                   }));
}

}  // namespace
