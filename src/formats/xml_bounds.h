#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TiXmlDocument;

// Bounds for every reader of XML that comes from outside (a file, the page, the network): how
// large the text may be and how deeply its elements may nest. A deeper document is refused
// before any tree is built, so that no reader recurses without limit, and the work stays linear
// in the text.

inline constexpr size_t kMaxXmlDepth = 256;
// TinyXML looks each attribute up among those of its element before adding it.
inline constexpr size_t kMaxXmlAttributes = 256;

struct XmlLimits {
    size_t maxBytes = 0;
    size_t maxDepth = kMaxXmlDepth;
    size_t maxAttributes = kMaxXmlAttributes;
};

// The page's arguments (the import's item list, places to add): far above any real list.
inline constexpr XmlLimits kPageArgumentLimits{size_t{1} << 20};
// The update manifest, as much as its transfer may bring.
inline constexpr XmlLimits kManifestLimits{size_t{1} << 20};
// The program's own documents turned into JSON by the terminal; they carry the navigator's text.
inline constexpr XmlLimits kDocumentLimits{size_t{64} << 20};
// A GPX file, read as a stream: memory grows with the points kept, not with the file.
inline constexpr XmlLimits kGpxLimits{size_t{1} << 30};

// The nesting of a document as a reader walks it, refused past the limit.
class XmlDepth {
  public:
    explicit XmlDepth(size_t maxDepth) : max_(maxDepth) {}
    // False when this element is one level too deep.
    bool enter() { return ++depth_ <= max_; }
    void leave() {
        if (depth_ > 0) --depth_;
    }
    size_t depth() const { return depth_; }

  private:
    size_t max_;
    size_t depth_ = 0;
};

// The reasons a text is refused, worded alike for every reader.
std::string xmlTooDeep(const XmlLimits& limits);
std::string xmlTooLarge(const XmlLimits& limits);

// Why TinyXML must not parse `text` (as TIXML_ENCODING_LEGACY), or nothing. The check walks the
// text as TinyXML would, with the same character classes, so that the nesting it counts is the
// nesting TinyXML would build; it never recurses and reads each byte a bounded number of times.
std::optional<std::string> tinyXmlRefusal(std::string_view text, const XmlLimits& limits);

// Parses `text` into `document` (legacy encoding: the bytes as they are) once tinyXmlRefusal
// has nothing against it; false with the reason in `refusal` otherwise, the document untouched.
bool parseBoundedXml(TiXmlDocument& document, const std::string& text, const XmlLimits& limits,
                     std::string& refusal);
