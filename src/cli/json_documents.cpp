#include <tinyxml.h>

#include <charconv>
#include <cstdio>
#include <string_view>

#include "formats/xml_bounds.h"
#include "json_documents.h"
#include "platform/codepage.h"

namespace cli {

std::string jsonString(const std::string& utf8) {
    std::string out = "\"";
    for (char ch : utf8) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

namespace {

// Builds one JSON object member by member.
class Object {
  public:
    Object& text(const char* key, const char* ansi) {
        return raw(key, jsonString(platform::ansiToUtf8(ansi ? ansi : "")));
    }
    // A number where the document holds one, else its text (an empty mileage stays "").
    Object& number(const char* key, const char* ansi) {
        std::string_view s(ansi ? ansi : "");
        long long value = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (!s.empty() && ec == std::errc() && end == s.data() + s.size())
            return raw(key, std::to_string(value));
        return text(key, ansi);
    }
    Object& raw(const char* key, const std::string& json) {
        out_ += out_.size() > 1 ? "," : "";
        out_ += jsonString(key) + ":" + json;
        return *this;
    }
    std::string done() { return out_ + "}"; }

  private:
    std::string out_ = "{";
};

const char* textOf(const TiXmlElement* e) {
    const char* text = e ? e->GetText() : nullptr;
    return text ? text : "";
}

template <class Each>
std::string array(const TiXmlElement* parent, const char* name, Each each) {
    std::string out = "[";
    if (parent)
        for (const TiXmlElement* e = parent->FirstChildElement(name); e;
             e = e->NextSiblingElement(name)) {
            if (out.size() > 1) out += ",";
            out += each(e);
        }
    return out + "]";
}

std::string routeBookList(const TiXmlElement* root) {
    return Object()
        .number("count", root->Attribute("count"))
        .raw("routeBooks", array(root, "rb",
                                 [](const TiXmlElement* rb) {
                                     return Object()
                                         .number("rbid", textOf(rb->FirstChildElement("rbid")))
                                         .text("title", textOf(rb->FirstChildElement("title")))
                                         .done();
                                 }))
        .done();
}

std::string places(const TiXmlElement* root) {
    return Object()
        .number("count", root->Attribute("count"))
        .raw("places", array(root, "point",
                             [](const TiXmlElement* p) {
                                 return Object()
                                     .number("id", p->Attribute("id"))
                                     .text("name", textOf(p))
                                     .number("lng", p->Attribute("lng"))
                                     .number("lat", p->Attribute("lat"))
                                     .text("lastUpDate", p->Attribute("lastUpDate"))
                                     .number("nType", p->Attribute("nType"))
                                     .number("iconIndex", p->Attribute("iconIndex"))
                                     .number("showName", p->Attribute("showName"))
                                     .done();
                             }))
        .done();
}

std::string routeBook(const TiXmlElement* root) {
    auto placeLike = [](bool line) {
        return [line](const TiXmlElement* e) {
            Object o;
            o.text("title", e->Attribute("title"));
            if (line) o.number("id", e->Attribute("id"));
            return o.number("lng", e->Attribute("lng"))
                .number("lat", e->Attribute("lat"))
                .text("img", e->Attribute("img"))
                .text("text", textOf(e))
                .done();
        };
    };
    const TiXmlElement* printList = root->FirstChildElement("printlist");
    return Object()
        .text("name", root->Attribute("name"))
        .text("author", root->Attribute("author"))
        .number("lastUpDate", root->Attribute("lastUpDate"))
        .text("startCity", root->Attribute("startCity"))
        .text("endCity", root->Attribute("endCity"))
        .number("mileage", root->Attribute("mileage"))
        .text("description", textOf(root->FirstChildElement("Description")))
        .raw("pois", array(root->FirstChildElement("poilist"), "poi", placeLike(false)))
        .raw("lines", array(root->FirstChildElement("linelist"), "line", placeLike(true)))
        .raw("printList", array(printList, "lineId",
                                [](const TiXmlElement* group) {
                                    return Object()
                                        .number("lineId", group->Attribute("id"))
                                        .raw("points",
                                             array(group, "p",
                                                   [](const TiXmlElement* p) {
                                                       return Object()
                                                           .number("lng", p->Attribute("lng"))
                                                           .number("lat", p->Attribute("lat"))
                                                           .done();
                                                   }))
                                        .done();
                                }))
        .done();
}

}  // namespace

std::optional<std::string> documentToJson(const std::string& ansi, std::string* refusal) {
    if (ansi.rfind("<?xml", 0) != 0) return std::nullopt;
    TiXmlDocument document;
    // The documents are GBK: the bytes pass through as they are and are converted above.
    std::string why;
    if (!parseBoundedXml(document, ansi, kDocumentLimits, why)) {
        if (refusal) *refusal = why;
        return std::nullopt;
    }
    const TiXmlElement* root = document.RootElement();
    if (document.Error() || root == nullptr) return std::nullopt;
    std::string_view name(root->Value());
    if (name == "rblist") return routeBookList(root);
    if (name == "point") return places(root);
    if (name == "RouteBook") return routeBook(root);
    return std::nullopt;
}

}  // namespace cli
