#include <tinyxml.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <string_view>

#include "formats/xml_bounds.h"
#include "json_documents.h"
#include "platform/codepage.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

// The value as JSON text. What the conversion from ANSI could not read is '?' already. Backspace
// and form feed are written as \u0008 and \u000c, as this program's output always wrote them.
std::string dump(const Json& value) {
    const std::string json = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::string out;
    out.reserve(json.size());
    for (size_t i = 0; i < json.size(); ++i) {
        // Every backslash of the output starts an escape of two characters or more.
        const char next = json[i] == '\\' && i + 1 < json.size() ? json[i + 1] : '\0';
        if (next == 'b' || next == 'f') {
            out += next == 'b' ? "\\u0008" : "\\u000c";
            ++i;
        } else {
            out += json[i];
            if (next != '\0') out += json[++i];
        }
    }
    return out;
}

Json text(const char* ansi) {
    return platform::ansiToUtf8(ansi ? ansi : "");
}

// A number where the document holds one, else its text (an empty mileage stays "").
Json number(const char* ansi) {
    std::string_view s(ansi ? ansi : "");
    long long value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (!s.empty() && ec == std::errc() && end == s.data() + s.size()) return value;
    return text(ansi);
}

const char* textOf(const TiXmlElement* e) {
    const char* t = e ? e->GetText() : nullptr;
    return t ? t : "";
}

template <class Each>
Json array(const TiXmlElement* parent, const char* name, Each each) {
    Json out = Json::array();
    if (parent)
        for (const TiXmlElement* e = parent->FirstChildElement(name); e;
             e = e->NextSiblingElement(name))
            out.push_back(each(e));
    return out;
}

Json routeBookList(const TiXmlElement* root) {
    return {{"count", number(root->Attribute("count"))},
            {"routeBooks", array(root, "rb", [](const TiXmlElement* rb) {
                 return Json{{"rbid", number(textOf(rb->FirstChildElement("rbid")))},
                             {"title", text(textOf(rb->FirstChildElement("title")))}};
             })}};
}

Json places(const TiXmlElement* root) {
    return {{"count", number(root->Attribute("count"))},
            {"places", array(root, "point", [](const TiXmlElement* p) {
                 return Json{{"id", number(p->Attribute("id"))},
                             {"name", text(textOf(p))},
                             {"lng", number(p->Attribute("lng"))},
                             {"lat", number(p->Attribute("lat"))},
                             {"lastUpDate", text(p->Attribute("lastUpDate"))},
                             {"nType", number(p->Attribute("nType"))},
                             {"iconIndex", number(p->Attribute("iconIndex"))},
                             {"showName", number(p->Attribute("showName"))}};
             })}};
}

Json placeLike(const TiXmlElement* e, bool line) {
    Json o = {{"title", text(e->Attribute("title"))}};
    if (line) o["id"] = number(e->Attribute("id"));
    o["lng"] = number(e->Attribute("lng"));
    o["lat"] = number(e->Attribute("lat"));
    o["img"] = text(e->Attribute("img"));
    o["text"] = text(textOf(e));
    return o;
}

Json printGroup(const TiXmlElement* group) {
    return {{"lineId", number(group->Attribute("id"))},
            {"points", array(group, "p", [](const TiXmlElement* p) {
                 return Json{{"lng", number(p->Attribute("lng"))},
                             {"lat", number(p->Attribute("lat"))}};
             })}};
}

Json routeBook(const TiXmlElement* root) {
    return {
        {"name", text(root->Attribute("name"))},
        {"author", text(root->Attribute("author"))},
        {"lastUpDate", number(root->Attribute("lastUpDate"))},
        {"startCity", text(root->Attribute("startCity"))},
        {"endCity", text(root->Attribute("endCity"))},
        {"mileage", number(root->Attribute("mileage"))},
        {"description", text(textOf(root->FirstChildElement("Description")))},
        {"pois", array(root->FirstChildElement("poilist"), "poi",
                       [](const TiXmlElement* e) { return placeLike(e, false); })},
        {"lines", array(root->FirstChildElement("linelist"), "line",
                        [](const TiXmlElement* e) { return placeLike(e, true); })},
        {"printList", array(root->FirstChildElement("printlist"), "lineId", printGroup)},
    };
}

}  // namespace

std::string jsonString(const std::string& utf8) {
    return dump(utf8);
}

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
    if (name == "rblist") return dump(routeBookList(root));
    if (name == "point") return dump(places(root));
    if (name == "RouteBook") return dump(routeBook(root));
    return std::nullopt;
}

}  // namespace cli
