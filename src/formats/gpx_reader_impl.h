#pragma once

#include <expat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/gpx.h"
#include "formats/gpx_encoding.h"

// The GPX reader's state, shared by its two halves: the parser's driver (gpx_reader.cpp: bytes,
// encodings, expat, losses) and the GPX grammar (gpx_elements.cpp: elements, their texts and
// what they hand the sink).

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
