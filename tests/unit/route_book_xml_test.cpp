#include "formats/route_book_xml.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "formats/xml_text.h"
#include "platform/codepage.h"

namespace {

template <size_t N>
std::array<char16_t, N> field(std::u16string_view s) {
    std::array<char16_t, N> f{};
    std::copy_n(s.begin(), std::min(s.size(), N), f.begin());
    return f;
}

void add(RouteBookData& data, RecordKind kind, std::u16string_view title, int32_t lng = 0,
         int32_t lat = 0, std::u16string content = u"", std::u16string img = u"") {
    auto r = std::make_unique<RouteRecord>();
    r->kind = kind;
    r->title = field<20>(title);
    r->lng = lng;
    r->lat = lat;
    r->contentLength = static_cast<int32_t>(content.size());
    r->content = std::move(content);
    r->imgLength = static_cast<int32_t>(img.size());
    r->img = std::move(img);
    data.records.push_back(std::move(r));
}

std::string document(const RouteBookData& data, const std::string& name = "track") {
    std::string out;
    EXPECT_EQ(writeRouteBookXml(data, out, name), 1);
    return out;
}

// The example route book: Li's trip from A to B with a gate and one northward leg.
RouteBookData exampleData() {
    RouteBookData data;
    data.header.author = field<32>(u"Li");
    data.header.startCity = field<10>(u"A");
    data.header.endCity = field<10>(u"B");
    add(data, RecordKind::Book, u"Trip", 0, 0, u"Nice");
    data.records.back()->mileage = 230000;
    add(data, RecordKind::Poi, u"Gate", 11639000, 3990000);
    add(data, RecordKind::Line, u"Leg", 11640000, 3991000, u"North");
    data.points = {{11639000, 3990000, 0}, {11639500, 3990500, 0}};
    return data;
}

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"GBK\" ?><RouteBook type=\"lushu\" author=\"Li\" "
    "lastUpDate=\"20090321\" startCity=\"A\" endCity=\"B\" id=\"\" download=\"0\" preview=\"0\" "
    "name=\"Trip\" mileage=\"230000\" img=\"\">";

TEST(RouteBookXml, TheExampleRouteBookWhole) {
    EXPECT_EQ(document(exampleData()),
              std::string(kHead) +
                  "<poilist><poi title=\"Gate\" lng=\"11639000\" lat=\"3990000\" "
                  "img=\"\"></poi></poilist><linelist><line title=\"Leg\" id=\"2\" "
                  "lng=\"11640000\" lat=\"3991000\" img=\"\">North</line></linelist>"
                  "<printlist><lineId id=\"\"><p lng=\"11639000\" lat=\"3990000\" /><p "
                  "lng=\"11639500\" lat=\"3990500\" /></lineId></printlist><Description>Nice"
                  "</Description></RouteBook>");
}

std::string printList(const std::string& doc) {
    size_t start = doc.find("<printlist>");
    size_t end = doc.find("</printlist>");
    return start == std::string::npos || end == std::string::npos
               ? std::string("missing")
               : doc.substr(start + 11, end - start - 11);
}

std::string p(int32_t lng, int32_t lat) {
    return "<p lng=\"" + std::to_string(lng) + "\" lat=\"" + std::to_string(lat) + "\" />";
}

TEST(RouteBookXml, PrintListGroupsByLineWhenTheRouteHasSeveralLines) {
    struct Case {
        const char* what;
        int lines;
        std::vector<TrackPoint> points;
        std::string expected;
    } cases[] = {
        {"groups 1, 1, 2, 1",
         2,
         {{10, 20, 1}, {11, 21, 1}, {12, 22, 2}, {-13, -23, 1}},
         "<lineId id=\"1\">" + p(10, 20) + p(11, 21) + "</lineId><lineId id=\"2\">" + p(12, 22) +
             "</lineId><lineId id=\"1\">" + p(-13, -23) + "</lineId>"},
        {"short layout track, all 0",
         3,
         {{10, 20, 0}, {11, 21, 0}},
         "<lineId id=\"0\">" + p(10, 20) + p(11, 21) + "</lineId>"},
        {"one line: one group without id",
         1,
         {{10, 20, 5}, {11, 21, 6}},
         "<lineId id=\"\">" + p(10, 20) + p(11, 21) + "</lineId>"},
        {"one line, no points", 1, {}, "<lineId id=\"\"></lineId>"},
        {"two lines, no points", 2, {}, "<lineId id=\"\"></lineId>"},
        {"no line", 0, {{10, 20, 1}}, ""},
    };
    for (const auto& c : cases) {
        RouteBookData data;
        add(data, RecordKind::Book, u"B");
        for (int i = 0; i < c.lines; ++i)
            add(data, RecordKind::Line, u"L");
        data.points = c.points;
        EXPECT_EQ(printList(document(data)), c.expected) << c.what;
    }
}

TEST(RouteBookXml, ListsTakeTheirRecordsByKindAndLinesTheirPositions) {
    RouteBookData data;
    add(data, RecordKind::Poi, u"P1", 1, 2, u"first", u"p1.jpg");
    add(data, static_cast<RecordKind>(5), u"Odd", 3, 4);
    add(data, RecordKind::Line, u"L1", 5, 6);
    add(data, RecordKind::Book, u"Main", 0, 0, u"");
    add(data, RecordKind::Book, u"Second book", 0, 0, u"ignored");
    add(data, RecordKind::Line, u"L2", 7, 8, u"", u"l2.png");
    data.records[3]->mileage = -5;
    std::string doc = document(data);
    std::string head =
        "<?xml version=\"1.0\" encoding=\"GBK\" ?><RouteBook type=\"lushu\" author=\"\" "
        "lastUpDate=\"20090321\" startCity=\"\" endCity=\"\" id=\"\" download=\"0\" "
        "preview=\"0\" name=\"Main\" mileage=\"-5\" img=\"\">";
    EXPECT_EQ(doc, head +
                       "<poilist><poi title=\"P1\" lng=\"1\" lat=\"2\" img=\"p1.jpg\">first</poi>"
                       "</poilist><linelist><line title=\"L1\" id=\"2\" lng=\"5\" lat=\"6\" "
                       "img=\"\"></line><line title=\"L2\" id=\"5\" lng=\"7\" lat=\"8\" "
                       "img=\"l2.png\"></line></linelist><printlist><lineId id=\"\"></lineId>"
                       "</printlist><Description></Description></RouteBook>");
}

TEST(RouteBookXml, WithoutABookRecordEveryRecordIsAPoi) {
    RouteBookData data;
    data.header.author = field<32>(u"Li");  // not used in this form
    add(data, RecordKind::Line, u"Leg", 11640000, 3991000, u"North", u"x.png");
    add(data, static_cast<RecordKind>(5), u"Odd", 1, 2);
    data.points = {{11639000, 3990000, 4}};
    std::string unknown = platform::utf8ToAnsi("佚名");
    std::string head =
        "<?xml version=\"1.0\" encoding=\"GBK\" ?><RouteBook type=\"lushu\" author=\"" + unknown +
        "\" lastUpDate=\"\" startCity=\"\" endCity=\"\" id=\"\" name=\"";
    EXPECT_EQ(document(data, "Day & night"),
              head +
                  "Day &amp; night\" mileage=\"\" img=\"\"><poilist><poi title=\"Leg\" "
                  "lng=\"11640000\" lat=\"3991000\" img=\"x.png\">North</poi><poi title=\"Odd\" "
                  "lng=\"1\" lat=\"2\" img=\"\"></poi></poilist><linelist></linelist><printlist>"
                  "<lineId id=\"\">" +
                  p(11639000, 3990000) +
                  "</lineId></printlist><Description></Description></RouteBook>");
    EXPECT_EQ(document(RouteBookData{}, "t"),
              head +
                  "t\" mileage=\"\" img=\"\"><poilist></poilist><linelist></linelist>"
                  "<printlist><lineId id=\"\"></lineId></printlist><Description>"
                  "</Description></RouteBook>");
}

TEST(RouteBookXml, InsertedTextIsEscapedSoThePageCanParseIt) {
    EXPECT_EQ(xmlEscape("a\"b&c<d>e'f"), "a&quot;b&amp;c&lt;d&gt;e'f");
    std::string gbk = platform::utf8ToAnsi("北京\"路书\"");
    EXPECT_EQ(xmlEscape(gbk), platform::utf8ToAnsi("北京&quot;路书&quot;"));

    RouteBookData data = exampleData();
    data.header.author = field<32>(u"A&B");
    data.header.startCity = field<10>(u"<s>");
    data.records[0]->title = field<20>(u"\"Trip\" \u5317\u4EAC");
    data.records[0]->content = u"a < b & c";
    data.records[1]->title = field<20>(u"Say \"hi\"");
    data.records[1]->img = u"x.jpg?a=1&b=2";
    data.records[2]->content = u"</line>";
    std::string doc = document(data);
    TiXmlDocument parsed;
    parsed.Parse(doc.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    ASSERT_FALSE(parsed.Error()) << parsed.ErrorDesc() << "\n" << doc;
    const TiXmlElement* root = parsed.RootElement();
    EXPECT_STREQ(root->Attribute("author"), "A&B");
    EXPECT_STREQ(root->Attribute("startCity"), "<s>");
    EXPECT_EQ(root->Attribute("name"), platform::utf8ToAnsi("\"Trip\" 北京"));
    const TiXmlElement* poi = root->FirstChildElement("poilist")->FirstChildElement("poi");
    EXPECT_STREQ(poi->Attribute("title"), "Say \"hi\"");
    EXPECT_STREQ(poi->Attribute("img"), "x.jpg?a=1&b=2");
    EXPECT_STREQ(root->FirstChildElement("linelist")->FirstChildElement("line")->GetText(),
                 "</line>");
    EXPECT_STREQ(root->FirstChildElement("Description")->GetText(), "a < b & c");
}

std::vector<TrackPoint> straightLine(size_t n) {
    std::vector<TrackPoint> points;
    for (size_t i = 0; i < n; ++i)
        points.push_back(
            {11600000 + 7 * static_cast<int32_t>(i), 3900000 + 3 * static_cast<int32_t>(i), 0});
    return points;
}

TEST(RouteBookXml, PrintListHasAtMost800Points) {
    auto loop = straightLine(900);
    loop.back() = loop.front();  // first and last coincide: every d against them is 0
    auto bump = [](int32_t offset) {
        auto line = straightLine(801);
        for (auto& pt : line)
            pt.lat = 3900000;
        line[400].lat += offset;  // chord 5600 long: d/chord is the offset itself
        return line;
    };
    struct Case {
        const char* what;
        std::vector<TrackPoint> points;
        size_t printed;
    } cases[] = {
        {"800 points", straightLine(800), 800},
        {"801 on a line", straightLine(801), 2},
        {"coincident ends", loop, 2},
        {"offset below the tolerance", bump(49), 2},
        {"offset equal to the tolerance", bump(50), 3},
        {"offset below zero", bump(-50), 3},
    };
    for (const auto& c : cases) {
        auto print = simplifyTrack(c.points);
        EXPECT_EQ(print.size(), c.printed) << c.what;
        EXPECT_EQ(print.front(), c.points.front()) << c.what;
        EXPECT_EQ(print.back(), c.points.back()) << c.what;
    }
}

}  // namespace
