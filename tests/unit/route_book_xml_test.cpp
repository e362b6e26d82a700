#include "formats/route_book_xml.h"

#include <gtest/gtest.h>

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

}  // namespace
