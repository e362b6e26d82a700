#include "formats/xml_text.h"

std::string xmlEscape(std::string_view ansi) {
    std::string out;
    appendXmlEscaped(out, ansi);
    return out;
}

void appendXmlEscaped(std::string& out, std::string_view ansi) {
    out.reserve(out.size() + ansi.size());
    for (char c : ansi) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
}
