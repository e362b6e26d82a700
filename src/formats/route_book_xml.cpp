#include "formats/route_book_xml.h"

#include <algorithm>
#include <string_view>

#include "formats/text_encoding.h"
#include "formats/xml_text.h"
#include "platform/codepage.h"

namespace {

class Document {
  public:
    explicit Document(std::string& out) : out_(out) {}

    Document& raw(std::string_view fragment) {
        out_ += fragment;
        return *this;
    }
    Document& number(int32_t value) {
        out_ += std::to_string(value);
        return *this;
    }
    Document& text(std::string_view ansi) {
        appendXmlEscaped(out_, ansi);
        return *this;
    }
    Document& text(const char16_t* units, size_t n) { return text(fieldToAnsi(units, n)); }
    template <size_t N>
    Document& text(const std::array<char16_t, N>& field) {
        return text(field.data(), N);
    }
    Document& text(const std::u16string& value) { return text(value.data(), value.size()); }

    // <poi ...> and <line ...> share their layout; `id` is written for lines only.
    void element(std::string_view tag, const RouteRecord& r, const int32_t* id) {
        raw("<").raw(tag).raw(" title=\"").text(r.title);
        if (id != nullptr) raw("\" id=\"").number(*id);
        raw("\" lng=\"").number(r.lng).raw("\" lat=\"").number(r.lat).raw("\" img=\"");
        text(r.img).raw("\">").text(r.content).raw("</").raw(tag).raw(">");
    }

    void point(const TrackPoint& p) {
        raw("<p lng=\"").number(p.lng).raw("\" lat=\"").number(p.lat).raw("\" />");
    }

    void singleGroup(const std::vector<TrackPoint>& print) {
        raw("<lineId id=\"\">");
        for (const TrackPoint& p : print)
            point(p);
        raw("</lineId>");
    }

    // One group per run of points of the same line.
    void groupsByLine(const std::vector<TrackPoint>& print) {
        int32_t group = print.front().lineId;
        raw("<lineId id=\"").number(group).raw("\">");
        for (const TrackPoint& p : print) {
            if (p.lineId != group) {
                group = p.lineId;
                raw("</lineId><lineId id=\"").number(group).raw("\">");
            }
            point(p);
        }
        raw("</lineId>");
    }

  private:
    std::string& out_;
};

constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"GBK\" ?>";

void writeBookForm(Document& doc, const RouteBookData& data, const RouteRecord& book,
                   const std::vector<TrackPoint>& print) {
    const RouteHeader& h = data.header;
    doc.raw(kXmlDeclaration).raw("<RouteBook type=\"lushu\" author=\"").text(h.author);
    doc.raw("\" lastUpDate=\"").number(h.lastUpDate);
    doc.raw("\" startCity=\"").text(h.startCity).raw("\" endCity=\"").text(h.endCity);
    doc.raw("\" id=\"\" download=\"0\" preview=\"0\" name=\"").text(book.title);
    doc.raw("\" mileage=\"").number(book.mileage).raw("\" img=\"\">");

    std::string lines;
    Document lineDoc(lines);
    int lineCount = 0;
    doc.raw("<poilist>");
    for (size_t i = 0; i < data.records.size(); ++i) {
        const RouteRecord& r = *data.records[i];
        if (r.kind == RecordKind::Poi) {
            doc.element("poi", r, nullptr);
        } else if (r.kind == RecordKind::Line) {
            int32_t id = static_cast<int32_t>(i);
            lineDoc.element("line", r, &id);
            ++lineCount;
        }
    }
    doc.raw("</poilist><linelist>").raw(lines).raw("</linelist><printlist>");

    if (lineCount == 1 || (lineCount > 1 && print.empty())) {
        // Several lines but no track points: one empty group, as for a single line.
        doc.singleGroup(print);
    } else if (lineCount > 1) {
        doc.groupsByLine(print);
    }
    doc.raw("</printlist><Description>").text(book.content).raw("</Description></RouteBook>");
}

void writeTrackOnlyForm(Document& doc, const RouteBookData& data, const std::string& name,
                        const std::vector<TrackPoint>& print) {
    static const std::string kUnknownAuthor = platform::utf8ToAnsi("佚名");
    doc.raw(kXmlDeclaration).raw("<RouteBook type=\"lushu\" author=\"").raw(kUnknownAuthor);
    doc.raw("\" lastUpDate=\"\" startCity=\"\" endCity=\"\" id=\"\" name=\"").text(name);
    doc.raw("\" mileage=\"\" img=\"\"><poilist>");
    for (const auto& r : data.records)
        doc.element("poi", *r, nullptr);
    doc.raw("</poilist><linelist></linelist><printlist>");
    doc.singleGroup(print);
    doc.raw("</printlist><Description></Description></RouteBook>");
}

}  // namespace

int writeRouteBookXml(const RouteBookData& data, std::string& out, const std::string& name) {
    std::vector<TrackPoint> print = simplifyTrack(data.points);
    auto book = std::find_if(data.records.begin(), data.records.end(),
                             [](const auto& r) { return r->kind == RecordKind::Book; });
    Document doc(out);
    if (book != data.records.end())
        writeBookForm(doc, data, **book, print);
    else
        writeTrackOnlyForm(doc, data, name, print);
    return 1;
}
