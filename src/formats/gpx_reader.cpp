#include <expat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "formats/gpx_reader_impl.h"
#include "platform/codepage.h"
#include "platform/utf8_text.h"

namespace {

// Enough of the file's start to hold its byte order mark and XML declaration.
constexpr size_t kHeadBytes = 1024;
// Expat counts in int: longer text goes in pieces.
constexpr size_t kPiece = size_t{1} << 20;

}  // namespace

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
    SniffedEncoding sniffed = sniffEncoding(first);
    unit = sniffed.unit;
    encoding = sniffed.name;
    if (sniffed.repairUtf8) repair.emplace();
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
