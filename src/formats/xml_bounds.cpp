#include "formats/xml_bounds.h"

#include <tinyxml.h>

#include <cctype>
#include <cstdint>

namespace {

constexpr size_t kStop = SIZE_MAX;

// Walks text the way TinyXML's parser does in its legacy encoding, position for position, and
// counts the elements it would open. Wherever TinyXML stops parsing (an error, or text at the
// top level) the walk stops too: nothing after that point is ever built.
class TinyXmlWalk {
  public:
    TinyXmlWalk(std::string_view text, const XmlLimits& limits)
        : t_(text.substr(0, text.find('\0'))), limits_(limits), depth_(limits.maxDepth) {}

    std::optional<std::string> run() {
        size_t i = skipSpace(0);
        while (i < t_.size()) {
            if (t_[i] != '<') {
                // Text ends a document at the top level; inside an element it runs to the '<'.
                if (depth_.depth() == 0) break;
                i = readText(i, "<");
                if (i != kStop) --i;
            } else if (depth_.depth() > 0 && startsWith(i, "</")) {
                size_t end = t_.find('>', i);
                depth_.leave();
                i = end == std::string_view::npos ? kStop : end + 1;
            } else {
                i = node(i);
            }
            if (i == kStop) break;
            i = skipSpace(i);
        }
        return refusal_;
    }

  private:
    // TinyXML's character classes, through the same C library calls, so that both agree in any
    // locale.
    static bool isSpace(char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == '\n' || c == '\r';
    }
    static bool isAlpha(char c) {
        auto b = static_cast<unsigned char>(c);
        return b >= 127 || std::isalpha(b);
    }
    static bool isNameChar(char c) {
        auto b = static_cast<unsigned char>(c);
        return b >= 127 || std::isalnum(b) || c == '_' || c == '-' || c == '.' || c == ':';
    }

    char at(size_t i) const { return i < t_.size() ? t_[i] : '\0'; }

    bool startsWith(size_t i, std::string_view s, bool ignoreCase = false) const {
        if (t_.size() - i < s.size()) return false;
        for (size_t k = 0; k < s.size(); ++k) {
            char c = t_[i + k];
            bool same = ignoreCase ? std::tolower(c) == std::tolower(s[k]) : c == s[k];
            if (!same) return false;
        }
        return true;
    }

    size_t skipSpace(size_t i) const {
        while (i < t_.size() && isSpace(t_[i]))
            ++i;
        return i;
    }

    size_t readName(size_t i) const {
        if (!isAlpha(at(i)) && at(i) != '_') return kStop;
        while (i < t_.size() && isNameChar(t_[i]))
            ++i;
        return i;
    }

    // One character of text or of a quoted value: a character reference, as TinyXML reads one,
    // runs from "&#" to the next ';' when only digits stand between it and the last '#' or 'x'.
    size_t getChar(size_t i) const {
        if (t_[i] != '&') return i + 1;
        if (at(i + 1) == '#' && i + 2 < t_.size()) {
            const bool hex = t_[i + 2] == 'x';
            size_t semicolon = t_.find(';', hex ? i + 3 : i + 2);
            if (semicolon == std::string_view::npos) return kStop;
            for (size_t k = semicolon - 1; t_[k] != (hex ? 'x' : '#'); --k) {
                char c = t_[k];
                bool digit = (c >= '0' && c <= '9') ||
                             (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
                if (!digit) return kStop;
            }
            return semicolon + 1;
        }
        for (std::string_view entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
            if (startsWith(i, entity)) return i + entity.size();
        return i + 1;
    }

    // Past `end`; TinyXML stops when `end` is the text's last character or missing.
    size_t readText(size_t i, std::string_view end) const {
        while (i < t_.size() && !startsWith(i, end)) {
            i = getChar(i);
            if (i == kStop) return kStop;
        }
        i += end.size();
        return i < t_.size() ? i : kStop;
    }

    size_t attribute(size_t i) const {
        i = readName(skipSpace(i));
        if (i >= t_.size()) return kStop;
        i = skipSpace(i);
        if (at(i) != '=') return kStop;
        i = skipSpace(i + 1);
        if (i >= t_.size()) return kStop;
        if (t_[i] == '"' || t_[i] == '\'') return readText(i + 1, t_.substr(i, 1));
        for (; i < t_.size() && !isSpace(t_[i]) && t_[i] != '/' && t_[i] != '>'; ++i)
            if (t_[i] == '"' || t_[i] == '\'') return kStop;
        return i;
    }

    // "<?xml" read; only its version, encoding and standalone values are read as quoted.
    size_t declaration(size_t i) const {
        while (i < t_.size()) {
            if (t_[i] == '>') return i + 1;
            i = skipSpace(i);
            if (i >= t_.size()) break;
            if (startsWith(i, "version", true) || startsWith(i, "encoding", true) ||
                startsWith(i, "standalone", true)) {
                i = attribute(i);
                if (i == kStop) return kStop;
            } else {
                while (i < t_.size() && t_[i] != '>' && !isSpace(t_[i]))
                    ++i;
            }
        }
        return kStop;
    }

    // An element's start tag; its content is walked by run() at the new depth.
    size_t element(size_t i) {
        i = readName(skipSpace(i + 1));
        if (i >= t_.size()) return kStop;
        if (!depth_.enter()) return refuse(xmlTooDeep(limits_));
        for (size_t attributes = 0;; ++attributes) {
            i = skipSpace(i);
            if (i >= t_.size()) return kStop;
            if (t_[i] == '/') {
                if (at(i + 1) != '>') return kStop;
                depth_.leave();
                return i + 2;
            }
            if (t_[i] == '>') return i + 1;
            if (attributes == limits_.maxAttributes)
                return refuse("an element has more than " + std::to_string(limits_.maxAttributes) +
                              " attributes");
            i = attribute(i);
            if (i >= t_.size()) return kStop;
        }
    }

    // A node at '<', told apart in TinyXML's order.
    size_t node(size_t i) {
        if (startsWith(i, "<?xml", true)) return declaration(i + 5);
        if (startsWith(i, "<!--")) {
            size_t end = t_.find("-->", i + 4);
            return end == std::string_view::npos ? t_.size() : end + 3;
        }
        if (startsWith(i, "<![CDATA[")) {
            size_t end = t_.find("]]>", i + 9);
            return end == std::string_view::npos || end + 3 >= t_.size() ? kStop : end + 3;
        }
        if (isAlpha(at(i + 1)) || at(i + 1) == '_') return element(i);
        size_t end = t_.find('>', i + 1);
        return end == std::string_view::npos ? t_.size() : end + 1;
    }

    size_t refuse(std::string why) {
        refusal_ = std::move(why);
        return kStop;
    }

    std::string_view t_;
    XmlLimits limits_;
    XmlDepth depth_;
    std::optional<std::string> refusal_;
};

std::string sizeText(size_t bytes) {
    if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string xmlTooDeep(const XmlLimits& limits) {
    return "elements nested deeper than " + std::to_string(limits.maxDepth) + " levels";
}

std::string xmlTooLarge(const XmlLimits& limits) {
    return "larger than " + sizeText(limits.maxBytes);
}

std::optional<std::string> tinyXmlRefusal(std::string_view text, const XmlLimits& limits) {
    if (text.size() > limits.maxBytes) return xmlTooLarge(limits);
    return TinyXmlWalk(text, limits).run();
}

bool parseBoundedXml(TiXmlDocument& document, const std::string& text, const XmlLimits& limits,
                     std::string& refusal) {
    if (std::optional<std::string> why = tinyXmlRefusal(text, limits)) {
        refusal = *why;
        return false;
    }
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    return true;
}
