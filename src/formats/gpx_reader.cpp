#include <expat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "formats/gpx.h"
#include "platform/codepage.h"
#include "platform/utf8_text.h"

namespace {

constexpr int32_t kUnitsPerDegree = 100000;
// Enough of the file's start to hold its byte order mark and XML declaration.
constexpr size_t kHeadBytes = 1024;
// Expat counts in int: longer text goes in pieces.
constexpr size_t kPiece = size_t{1} << 20;
constexpr const char kReplacement[] = "\xEF\xBF\xBD";

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Degrees as text to units, rounded to the nearest; false for anything else or out of range.
bool parseDegrees(const char* text, double limit, int32_t& units) {
    if (text == nullptr) return false;
    std::string_view s(text);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(value) ||
        std::fabs(value) > limit)
        return false;
    units = static_cast<int32_t>(std::llround(value * kUnitsPerDegree));
    return true;
}

const char* attribute(const XML_Char** atts, std::string_view name) {
    for (; atts[0] != nullptr; atts += 2)
        if (name == atts[0]) return atts[1];
    return nullptr;
}

std::string_view localName(std::string_view name) {
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The encoding named in the XML declaration at the start of `head`; empty when none is named.
std::string declaredEncoding(std::string_view head) {
    if (head.rfind("<?xml", 0) != 0) return {};
    head = head.substr(0, head.find("?>"));
    size_t at = head.find("encoding");
    if (at == std::string_view::npos) return {};
    at = head.find_first_of("\"'", at);
    if (at == std::string_view::npos) return {};
    size_t end = head.find(head[at], at + 1);
    if (end == std::string_view::npos) return {};
    return std::string(head.substr(at + 1, end - at - 1));
}

bool isGbkName(std::string_view name) {
    for (std::string_view known : {"GBK", "GB2312", "CP936", "MS936", "windows-936", "EUC-CN",
                                   "x-gbk", "x-euc-cn", "csGB2312", "GB_2312-80"})
        if (equalsIgnoringCase(name, known)) return true;
    return false;
}

// GBK as expat reads an encoding it does not know: a table for single bytes and, for two-byte
// characters, the system's code-page conversion, remembered per pair. A pair or byte that is no
// GBK character reads as U+FFFD.
class GbkDecoder {
  public:
    void fill(XML_Encoding& info) {
        for (int b = 0; b < 0x80; ++b)
            info.map[b] = b;
        for (int b = 0x80; b < 0x100; ++b)
            info.map[b] =
                b >= 0x81 && b <= 0xFE ? -2 : decode(std::string(1, static_cast<char>(b)));
        info.data = this;
        info.convert = &GbkDecoder::convert;
        info.release = nullptr;
    }

  private:
    static int XMLCALL convert(void* data, const char* s) {
        auto* self = static_cast<GbkDecoder*>(data);
        const size_t index =
            (static_cast<unsigned char>(s[0]) - 0x81) * 256 + static_cast<unsigned char>(s[1]);
        if (self->pairs_.empty()) self->pairs_.assign(126 * 256, -1);
        int& known = self->pairs_[index];
        if (known < 0) known = decode(std::string(s, 2));
        return known;
    }

    static int decode(const std::string& bytes) {
        std::u16string wide = platform::gbkToUtf16(bytes);
        bool one = wide.size() == 1 && wide[0] != u'?' && (wide[0] < 0xD800 || wide[0] > 0xDFFF);
        return one ? wide[0] : 0xFFFD;
    }

    std::vector<int> pairs_;
};

// Replaces each byte that starts no well-formed UTF-8 sequence by U+FFFD, so that such text is
// read and reported rather than refusing the document. A sequence cut at the end of a piece
// waits for the next one.
class Utf8Repair {
  public:
    std::string pass(std::string_view bytes, bool last) {
        std::string in = carry_;
        in.append(bytes);
        carry_.clear();
        std::string out;
        out.reserve(in.size());
        size_t i = 0;
        while (i < in.size()) {
            size_t run = i;
            while (run < in.size() && static_cast<unsigned char>(in[run]) < 0x80)
                ++run;
            out.append(in, i, run - i);
            if (run == in.size()) break;
            i = run;
            if (!last && cutShort(std::string_view(in).substr(i))) {
                carry_ = in.substr(i);
                break;
            }
            size_t start = i;
            char32_t c = utf8::decode(in, i);
            if (c == 0xFFFD && i == start + 1)
                out += kReplacement;
            else
                out.append(in, start, i - start);
        }
        return out;
    }

  private:
    // A lead byte whose continuation bytes, so far all well-formed, run past the piece.
    static bool cutShort(std::string_view rest) {
        auto c = static_cast<unsigned char>(rest[0]);
        size_t length = c >= 0xC2 && c < 0xE0   ? 2
                        : c >= 0xE0 && c < 0xF0 ? 3
                        : c >= 0xF0 && c < 0xF5 ? 4
                                                : 0;
        if (length <= rest.size()) return false;
        for (size_t k = 1; k < rest.size(); ++k)
            if ((static_cast<unsigned char>(rest[k]) & 0xC0) != 0x80) return false;
        return true;
    }

    std::string carry_;
};

}  // namespace

// How GPX elements are told apart: by their local name and their parent's kind.
enum class GpxKind : uint8_t {
    Other,
    Gpx,
    Metadata,
    MetadataAuthor,
    Wpt,
    Rte,
    Rtept,
    Trk,
    Trkseg,
    Trkpt,
    Name,
    Desc,
    Cmt,
    Author,
    Time,
    Number
};

struct GpxReader::Impl {
    // The text of an element as the navigator's tools have always read it: its first child
    // node, when that is text. White space in the file is folded (none at the ends, one space
    // inside) and blank text is no node; white space written as a reference stays, and CDATA
    // is taken as it stands.
    struct Open {
        GpxKind kind = GpxKind::Other;
        uint64_t line = 0;
        enum class Text : uint8_t { Waiting, Run, Cdata, Done } text = Text::Waiting;
        bool space = false;
        std::string value;
    };

    Impl(GpxSink& s, const XmlLimits& l) : sink(s), limits(l), depth(l.maxDepth) {}
    ~Impl() {
        if (parser) XML_ParserFree(parser);
    }

    bool feed(std::string_view bytes, bool last);
    bool start(std::string_view head);
    bool parse(std::string_view bytes, bool last);
    bool fail(std::string why);
    void stop(std::string why);

    void startElement(const XML_Char* name, const XML_Char** atts);
    void begin(GpxKind kind, std::string_view local, const XML_Char** atts);
    void endElement();
    void characters(const XML_Char* s, int len);
    void otherNode();
    void cdata(bool begins);
    GpxKind kindOf(std::string_view name) const;
    bool readPosition(const XML_Char** atts, std::string_view tag, int32_t& lng, int32_t& lat);
    void takeText(const Open& element);
    std::string ansi(const std::string& utf8, uint64_t line);
    uint64_t line() const { return XML_GetCurrentLineNumber(parser); }

    static Impl& of(void* data) { return *static_cast<Impl*>(data); }
    static void XMLCALL onStart(void* d, const XML_Char* name, const XML_Char** atts) {
        of(d).startElement(name, atts);
    }
    static void XMLCALL onEnd(void* d, const XML_Char*) { of(d).endElement(); }
    static void XMLCALL onCharacters(void* d, const XML_Char* s, int len) {
        of(d).characters(s, len);
    }
    static void XMLCALL onComment(void* d, const XML_Char*) { of(d).otherNode(); }
    static void XMLCALL onInstruction(void* d, const XML_Char*, const XML_Char*) {
        of(d).otherNode();
    }
    static void XMLCALL onCdataStart(void* d) { of(d).cdata(true); }
    static void XMLCALL onCdataEnd(void* d) { of(d).cdata(false); }
    static int XMLCALL onUnknownEncoding(void* d, const XML_Char* name, XML_Encoding* info) {
        of(d).encoding = name;
        if (!isGbkName(name)) return XML_STATUS_ERROR;
        of(d).gbk.fill(*info);
        return XML_STATUS_OK;
    }

    GpxSink& sink;
    XmlLimits limits;
    XmlDepth depth;
    XML_Parser parser = nullptr;
    std::string head;
    bool started = false;
    bool done = false;  // the root element has ended
    std::string error;
    size_t total = 0;
    std::optional<Utf8Repair> repair;
    size_t unit = 1;  // bytes of a code unit: 2 in UTF-16
    std::string encoding = "UTF-8";
    GbkDecoder gbk;
    GpxLoss invalid;
    GpxLoss unheld;
    std::vector<Open> open;

    // What the elements being read have shown so far; each text is the first of its name.
    struct About {
        std::optional<std::string> name, description, author;
    } root, metadata;
    size_t metadataSeen = 0;
    size_t authorsSeen = 0;
    GpxPlace place;
    std::optional<std::string> placeName, placeDescription, placeComment;
    std::optional<std::string> routeName, trackName, trackNumber, pointTime;
    GpxPoint point;
    uint64_t pointLine = 0;
};

bool GpxReader::Impl::fail(std::string why) {
    if (error.empty()) error = std::move(why);
    return false;
}

// Ends parsing from inside a handler; `why` empty once the root element has been read.
void GpxReader::Impl::stop(std::string why) {
    if (why.empty())
        done = true;
    else
        fail(std::move(why));
    XML_StopParser(parser, XML_FALSE);
}

bool GpxReader::Impl::feed(std::string_view bytes, bool last) {
    if (!error.empty()) return false;
    if (done) return true;
    total += bytes.size();
    if (total > limits.maxBytes) return fail("the file is " + xmlTooLarge(limits));
    if (!started) {
        head.append(bytes);
        if (head.size() < kHeadBytes && !last) return true;
        std::string all = std::move(head);
        return start(all) && parse(all, last);
    }
    return parse(bytes, last);
}

// Tells the encoding from the file's start, then sets up the parser for it.
bool GpxReader::Impl::start(std::string_view first) {
    started = true;
    auto startsWith = [&](std::string_view s) { return first.rfind(s, 0) == 0; };
    using namespace std::string_view_literals;
    if (startsWith("\xFF\xFE"sv) || startsWith("\xFE\xFF"sv) || startsWith("<\0"sv) ||
        startsWith("\0<"sv)) {
        unit = 2;
        encoding = "UTF-16";
    } else if (std::string named = declaredEncoding(first); !named.empty()) {
        encoding = named;
    }
    if (unit == 1 && (equalsIgnoringCase(encoding, "UTF-8") || startsWith("\xEF\xBB\xBF")))
        repair.emplace();
    parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) return fail("out of memory");
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onCharacters);
    XML_SetCommentHandler(parser, onComment);
    XML_SetProcessingInstructionHandler(parser, onInstruction);
    XML_SetCdataSectionHandler(parser, onCdataStart, onCdataEnd);
    XML_SetUnknownEncodingHandler(parser, onUnknownEncoding, this);
    // Entities declared in the document expand at most so far; nothing outside it is read.
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser, 100.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser, 8 << 20);
    return true;
}

bool GpxReader::Impl::parse(std::string_view bytes, bool last) {
    std::string repaired;
    if (repair) {
        repaired = repair->pass(bytes, last);
        bytes = repaired;
    }
    do {
        std::string_view piece = bytes.substr(0, kPiece);
        bytes.remove_prefix(piece.size());
        bool final = last && bytes.empty();
        if (XML_Parse(parser, piece.data(), static_cast<int>(piece.size()), final) == XML_STATUS_OK)
            continue;
        if (done) return true;
        if (!error.empty()) return false;
        XML_Error code = XML_GetErrorCode(parser);
        if (code == XML_ERROR_UNKNOWN_ENCODING || code == XML_ERROR_INCORRECT_ENCODING)
            return fail("its encoding " + encoding +
                        " is not one this program reads (UTF-8, UTF-16, ISO-8859-1, US-ASCII, "
                        "GBK, GB2312)");
        return fail(std::string("not well-formed XML (") + XML_ErrorString(code) + " at line " +
                    std::to_string(line()) + ")");
    } while (!bytes.empty());
    return true;
}

namespace {

bool isBlank(const std::string& text) {
    for (char c : text)
        if (!isXmlSpace(c)) return false;
    return true;
}

bool collectsText(GpxKind kind) {
    return kind >= GpxKind::Name;
}

}  // namespace

GpxKind GpxReader::Impl::kindOf(std::string_view name) const {
    using K = GpxKind;
    switch (open.empty() ? K::Other : open.back().kind) {
        case K::Gpx:
            if (name == "metadata") return metadataSeen == 0 ? K::Metadata : K::Other;
            return name == "wpt"      ? K::Wpt
                   : name == "rte"    ? K::Rte
                   : name == "trk"    ? K::Trk
                   : name == "name"   ? K::Name
                   : name == "desc"   ? K::Desc
                   : name == "author" ? K::Author
                                      : K::Other;
        case K::Metadata:
            if (name == "author") return authorsSeen == 0 ? K::MetadataAuthor : K::Other;
            return name == "name" ? K::Name : name == "desc" ? K::Desc : K::Other;
        case K::MetadataAuthor:
            return name == "name" ? K::Name : K::Other;
        case K::Wpt:
        case K::Rtept:
            return name == "name"   ? K::Name
                   : name == "desc" ? K::Desc
                   : name == "cmt"  ? K::Cmt
                                    : K::Other;
        case K::Rte:
            return name == "rtept" ? K::Rtept : name == "name" ? K::Name : K::Other;
        case K::Trk:
            return name == "trkseg"   ? K::Trkseg
                   : name == "name"   ? K::Name
                   : name == "number" ? K::Number
                                      : K::Other;
        case K::Trkseg:
            return name == "trkpt" ? K::Trkpt : K::Other;
        case K::Trkpt:
            return name == "time" ? K::Time : K::Other;
        default:
            return K::Other;
    }
}

bool GpxReader::Impl::readPosition(const XML_Char** atts, std::string_view tag, int32_t& lng,
                                   int32_t& lat) {
    if (parseDegrees(attribute(atts, "lat"), 90, lat) &&
        parseDegrees(attribute(atts, "lon"), 180, lng) && gpxCanHold(lng, lat))
        return true;
    stop("a <" + std::string(tag) + "> at line " + std::to_string(line()) +
         " has no valid lat and lon (latitude -90 to 90, longitude -180 to below 180)");
    return false;
}

void GpxReader::Impl::startElement(const XML_Char* name, const XML_Char** atts) {
    if (!error.empty() || done) return;
    // The parent's text, if it had any, ends here.
    otherNode();
    if (!depth.enter())
        return stop(xmlTooDeep(limits) + " (at line " + std::to_string(line()) + ")");
    std::string_view local = localName(name);
    if (open.empty() && local != "gpx")
        return stop("not a GPX document (its root element is not <gpx>)");
    const GpxKind kind = open.empty() ? GpxKind::Gpx : kindOf(local);
    Open& element = open.emplace_back();
    element.kind = kind;
    element.line = line();
    if (!collectsText(kind)) element.text = Open::Text::Done;
    begin(kind, local, atts);
}

// What an element of each kind starts.
void GpxReader::Impl::begin(GpxKind kind, std::string_view local, const XML_Char** atts) {
    switch (kind) {
        case GpxKind::Metadata:
            ++metadataSeen;
            break;
        case GpxKind::MetadataAuthor:
            ++authorsSeen;
            break;
        case GpxKind::Wpt:
        case GpxKind::Rtept:
            placeName.reset(), placeDescription.reset(), placeComment.reset();
            readPosition(atts, local, place.lng, place.lat);
            break;
        case GpxKind::Rte:
            routeName.reset();
            break;
        case GpxKind::Trk:
            trackName.reset(), trackNumber.reset();
            break;
        case GpxKind::Trkseg:
            sink.segmentStart();
            break;
        case GpxKind::Trkpt:
            pointTime.reset();
            pointLine = line();
            readPosition(atts, local, point.lng, point.lat);
            break;
        default:
            break;
    }
}

void GpxReader::Impl::characters(const XML_Char* s, int len) {
    if (open.empty()) return;
    Open& e = open.back();
    if (e.text == Open::Text::Done) return;
    if (e.text == Open::Text::Cdata) {
        e.value.append(s, static_cast<size_t>(len));
        return;
    }
    e.text = Open::Text::Run;
    // White space written as a reference is a character like any other.
    const bool reference = len == 1 && isXmlSpace(s[0]) &&
                           XML_GetCurrentByteCount(parser) >= static_cast<int>(4 * unit);
    for (int i = 0; i < len; ++i) {
        if (!reference && isXmlSpace(s[i])) {
            e.space = !e.value.empty();
            continue;
        }
        if (e.space) e.value += ' ';
        e.space = false;
        e.value += s[i];
    }
}

// A child node that is not text: it is the first one unless text came before it.
void GpxReader::Impl::otherNode() {
    if (open.empty() || open.back().text == Open::Text::Done) return;
    Open& e = open.back();
    if (e.text == Open::Text::Run && isBlank(e.value)) e.value.clear();
    e.text = Open::Text::Done;
}

void GpxReader::Impl::cdata(bool begins) {
    if (open.empty()) return;
    Open& e = open.back();
    if (begins && e.text == Open::Text::Run && isBlank(e.value)) {
        e.value.clear();
        e.space = false;
        e.text = Open::Text::Waiting;
    }
    if (begins && e.text == Open::Text::Waiting)
        e.text = Open::Text::Cdata;
    else if (begins && e.text == Open::Text::Run)
        e.text = Open::Text::Done;
    else if (!begins && e.text == Open::Text::Cdata)
        e.text = Open::Text::Done;
}

void GpxReader::Impl::takeText(const Open& e) {
    const bool blank = e.text == Open::Text::Run && isBlank(e.value);
    const std::string text = e.text == Open::Text::Waiting || blank ? std::string() : e.value;
    const GpxKind parent = open[open.size() - 2].kind;
    const bool inPlace = parent == GpxKind::Wpt || parent == GpxKind::Rtept;
    auto slotFor = [&]() -> std::optional<std::string>* {
        switch (e.kind) {
            case GpxKind::Name:
                return parent == GpxKind::Gpx              ? &root.name
                       : parent == GpxKind::Metadata       ? &metadata.name
                       : parent == GpxKind::MetadataAuthor ? &metadata.author
                       : parent == GpxKind::Rte            ? &routeName
                       : parent == GpxKind::Trk            ? &trackName
                       : inPlace                           ? &placeName
                                                           : nullptr;
            case GpxKind::Desc:
                return parent == GpxKind::Gpx        ? &root.description
                       : parent == GpxKind::Metadata ? &metadata.description
                       : inPlace                     ? &placeDescription
                                                     : nullptr;
            case GpxKind::Cmt:
                return &placeComment;
            case GpxKind::Author:
                return &root.author;
            case GpxKind::Time:
                return &pointTime;
            default:
                return &trackNumber;
        }
    };
    std::optional<std::string>* slot = slotFor();
    if (slot == nullptr || slot->has_value()) return;
    const bool plain = e.kind == GpxKind::Time || e.kind == GpxKind::Number;
    *slot = plain ? text : ansi(text, e.line);
}

void GpxReader::Impl::endElement() {
    if (!error.empty() || done || open.empty()) return;
    const Open& e = open.back();
    if (collectsText(e.kind)) takeText(e);
    auto placeFound = [this] {
        GpxPlace found{place.lng, place.lat, placeName.value_or(""), placeDescription.value_or("")};
        if (found.description.empty()) found.description = placeComment.value_or("");
        return found;
    };
    switch (e.kind) {
        case GpxKind::Wpt:
            sink.waypoint(placeFound());
            break;
        case GpxKind::Rtept:
            sink.routePoint(placeFound());
            break;
        case GpxKind::Rte:
            sink.routeEnd(routeName.value_or(""));
            break;
        case GpxKind::Trkpt:
            point.timeMs = pointTime ? parseUtcTime(*pointTime) : std::nullopt;
            sink.trackPoint(point, pointLine);
            break;
        case GpxKind::Trk: {
            std::optional<int32_t> number;
            int32_t value = 0;
            const std::string digits = trackNumber.value_or("");
            auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size())
                number = value;
            sink.trackEnd(trackName.value_or(""), number);
            break;
        }
        default:
            break;
    }
    open.pop_back();
    depth.leave();
    // What follows the root element is not read.
    if (open.empty()) stop("");
}

// ANSI text for UTF-8 text; what becomes '?' on the way is counted.
std::string GpxReader::Impl::ansi(const std::string& utf8, uint64_t at) {
    bool ascii = true;
    for (char c : utf8)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return utf8;
    std::string out = platform::utf8ToAnsi(utf8);
    if (platform::ansiToUtf8(out) == utf8) return out;
    for (size_t i = 0; i < utf8.size();) {
        const size_t start = i;
        const char32_t c = utf8::decode(utf8, i);
        const std::string_view one(utf8.data() + start, i - start);
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        if (c == 0xFFFD)
            invalid.add("line " + std::to_string(at));
        else if (c >= 0x80 && platform::ansiToUtf8(platform::utf8ToAnsi(one)) != one)
            unheld.add(std::string(code) + " at line " + std::to_string(at));
    }
    return out;
}

GpxReader::GpxReader(GpxSink& sink, const XmlLimits& limits)
    : impl_(std::make_unique<Impl>(sink, limits)) {}

GpxReader::~GpxReader() = default;

bool GpxReader::feed(std::string_view bytes) {
    return impl_->feed(bytes, false);
}

bool GpxReader::finish() {
    Impl& r = *impl_;
    if (!r.feed({}, true)) return false;
    if (!r.done) return r.fail("not well-formed XML (no element found)");
    const Impl::About& about = r.metadataSeen > 0 ? r.metadata : r.root;
    r.sink.about(about.name.value_or(""), about.description.value_or(""),
                 about.author.value_or(""));
    return true;
}

const std::string& GpxReader::error() const {
    return impl_->error;
}
const GpxLoss& GpxReader::invalidText() const {
    return impl_->invalid;
}
const GpxLoss& GpxReader::unheldText() const {
    return impl_->unheld;
}
const std::string& GpxReader::encoding() const {
    return impl_->encoding;
}

namespace {

// Collects a whole document.
class DocumentSink : public GpxSink {
  public:
    explicit DocumentSink(GpxDocument& document) : d_(document) {}
    void waypoint(GpxPlace place) override { d_.waypoints.push_back(std::move(place)); }
    void routePoint(GpxPlace place) override { d_.routePoints.push_back(std::move(place)); }
    void routeEnd(std::string name) override {
        if (d_.routeName.empty()) d_.routeName = std::move(name);
    }
    void segmentStart() override { track_.segments.emplace_back(); }
    void trackPoint(const GpxPoint& point, uint64_t) override {
        track_.segments.back().push_back(point);
    }
    void trackEnd(std::string name, std::optional<int32_t> number) override {
        track_.name = std::move(name);
        track_.number = number;
        d_.tracks.push_back(std::move(track_));
        track_ = GpxTrack();
    }
    void about(std::string name, std::string description, std::string author) override {
        d_.name = std::move(name);
        d_.description = std::move(description);
        d_.author = std::move(author);
    }

  private:
    GpxDocument& d_;
    GpxTrack track_;
};

}  // namespace

bool readGpx(const std::string& text, GpxDocument& document, std::string& error) {
    document = GpxDocument();
    DocumentSink sink(document);
    GpxReader reader(sink);
    if (reader.feed(text) && reader.finish()) return true;
    error = reader.error();
    return false;
}
