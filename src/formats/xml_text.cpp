#include "formats/xml_text.h"

#include "platform/codepage.h"
#include "platform/utf8_text.h"

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

std::string xmlEscapeUnicode(std::string_view text) {
    std::string ansi = platform::utf8ToAnsi(text);
    if (platform::ansiToUtf8(ansi) == text) return xmlEscape(ansi);
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const char32_t c = utf8::decode(text, i);
        std::string one;
        utf8::append(one, c);
        std::string held = platform::utf8ToAnsi(one);
        if (platform::ansiToUtf8(held) == one)
            appendXmlEscaped(out, held);
        else
            out += "&#" + std::to_string(static_cast<uint32_t>(c)) + ";";
    }
    return out;
}
