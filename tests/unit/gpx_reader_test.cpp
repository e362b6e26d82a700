#include "formats/gpx.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "platform/codepage.h"
#include "platform/utf8_text.h"

namespace {

// Everything a reader hands over, one line each.
class RecordingSink : public GpxSink {
  public:
    std::string log;
    void waypoint(GpxPlace p) override { place("wpt", p); }
    void routePoint(GpxPlace p) override { place("rtept", p); }
    void routeEnd(std::string name) override { log += "rte " + name + "\n"; }
    void segmentStart() override { log += "trkseg\n"; }
    void trackPoint(const GpxPoint& p, uint64_t line) override {
        log += "trkpt " + std::to_string(p.lng) + " " + std::to_string(p.lat) + " " +
               std::to_string(p.timeMs.value_or(-1)) + " line " + std::to_string(line) + "\n";
    }
    void trackEnd(std::string name, std::optional<int32_t> number) override {
        log += "trk " + name + " " + std::to_string(number.value_or(-1)) + "\n";
    }
    void about(std::string name, std::string description, std::string author) override {
        log += "about " + name + "|" + description + "|" + author + "\n";
    }

  private:
    void place(const char* tag, const GpxPlace& p) {
        log += std::string(tag) + " " + std::to_string(p.lng) + " " + std::to_string(p.lat) + " " +
               p.name + "|" + p.description + "\n";
    }
};

struct ReadResult {
    std::string log;
    bool ok = false;
    std::string invalid;  // "N: examples"
    std::string unheld;
};

// Reads `bytes` in pieces of `piece` bytes (all at once for 0).
ReadResult readInPieces(const std::string& bytes, size_t piece) {
    RecordingSink sink;
    GpxReader reader(sink);
    bool ok = true;
    for (size_t at = 0; ok && at < bytes.size(); at += piece ? piece : bytes.size())
        ok = reader.feed(std::string_view(bytes).substr(at, piece ? piece : bytes.size()));
    ok = ok && reader.finish();
    auto loss = [](const GpxLoss& l) { return std::to_string(l.count) + ": " + l.examples(); };
    return {sink.log + reader.error(), ok, loss(reader.invalidText()), loss(reader.unheldText())};
}

std::string utf16(const std::string& utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : utf8::toUtf16(utf8)) {
        char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

TEST(GpxReaderTest, EveryEncodingADocumentMayDeclareReadsAlike) {
    const std::string body =
        "\n<gpx version=\"1.1\">\n<metadata><name>长城</name><desc>北京 &amp; 河北</desc>"
        "<author><name>王</name></author></metadata>\n"
        "<wpt lat=\"40.35\" lon=\"116.01\"><name>正门</name><cmt>门票</cmt></wpt>\n"
        "<trk><name>一日游</name><trkseg>\n<trkpt lat=\"40.36\" lon=\"116.02\">"
        "<time>2009-05-02T00:30:00Z</time></trkpt>\n<trkpt lat=\"40.37\" lon=\"116.03\"/>"
        "</trkseg><number>7</number></trk>\n</gpx>\n";
    auto declared = [&](const char* encoding) {
        return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>" + body;
    };
    const std::string utf8Text = "<?xml version=\"1.0\"?>" + body;
    const ReadResult expected = readInPieces(utf8Text, 0);
    ASSERT_TRUE(expected.ok) << expected.log;
    EXPECT_EQ(expected.log, platform::utf8ToAnsi("wpt 11601000 4035000 正门|门票\ntrkseg\n"
                                                 "trkpt 11602000 4036000 1241224200000 line 6\n"
                                                 "trkpt 11603000 4037000 -1 line 7\ntrk 一日游 7\n"
                                                 "about 长城|北京 & 河北|王\n"));
    const struct Case {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"UTF-8 declared", declared("UTF-8")},
        {"UTF-8 with its byte order mark", "\xEF\xBB\xBF" + utf8Text},
        {"UTF-16, little-endian", utf16(declared("UTF-16"), false)},
        {"UTF-16, big-endian", utf16(declared("UTF-16"), true)},
        {"GBK", platform::utf8ToAnsi(declared("GBK"))},
        {"GB2312", platform::utf8ToAnsi(declared("gb2312"))},
        {"a DOCTYPE with an entity of its own",
         "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY amp2 \"&#38;\">]>" + body},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t{0}, size_t{1}, size_t{7}}) {
            SCOPED_TRACE(std::string(c.label) + ", pieces of " + std::to_string(piece));
            ReadResult r = readInPieces(c.bytes, piece);
            EXPECT_TRUE(r.ok);
            EXPECT_EQ(r.log, expected.log);
            EXPECT_EQ(r.invalid + r.unheld, "0: 0: ");
        }
    }
}

TEST(GpxReaderTest, TextTheNavigatorCannotHoldIsReadAsQuestionMarksAndCounted) {
    const struct Case {
        const char* label;
        std::string bytes;
        const char* log;  // UTF-8, with what is lost as it stands
        const char* invalid;
        const char* unheld;
    } cases[] = {
        {"bytes that are not UTF-8",
         "<gpx>\n<wpt lat=\"1\" lon=\"1\"><name>A\xFF\xC3-</name></wpt></gpx>",
         "wpt 100000 100000 A\uFFFD\uFFFD-|\n", "2: line 2, line 2", "0: "},
        {"a character GBK lacks", "<gpx>\n\n<wpt lat=\"1\" lon=\"1\"><desc>😀 ok</desc></wpt></gpx>",
         "wpt 100000 100000 |😀 ok\n", "0: ", "1: U+1F600 at line 3"},
        {"a GBK pair that is no character",
         "<?xml version=\"1.0\" encoding=\"GBK\"?><gpx><wpt lat=\"1\" lon=\"1\"><name>\x81\x20x"
         "</name></wpt></gpx>",
         "wpt 100000 100000 \uFFFDx|\n", "1: line 1", "0: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ReadResult r = readInPieces(c.bytes, 3);
        EXPECT_TRUE(r.ok) << r.log;
        EXPECT_EQ(r.log, platform::utf8ToAnsi(c.log) + "about ||\n");
        EXPECT_EQ(r.invalid, c.invalid);
        EXPECT_EQ(r.unheld, c.unheld);
    }
}

// A place's name is read as the program always read it: the text of the element's first child
// node, with the file's white space folded.
TEST(GpxReaderTest, TextsReadAsTheyAlwaysWere) {
    const char* names[] = {"  a \n b  ",
                           "a&#10;b\t&#9;",
                           " &#32; x",
                           "a<!--c-->b",
                           "<!--c-->a",
                           "  <![CDATA[ x\n]]>",
                           "a<![CDATA[b]]>",
                           "<b/>a",
                           "a&amp;b&lt;c",
                           "\n\t ",
                           "",
                           "x<?pi?>y",
                           "a</name><name>b"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        std::string text =
            std::string("<gpx><wpt lat=\"1\" lon=\"1\"><name>") + name + "</name></wpt></gpx>";
        TiXmlDocument tiny;
        tiny.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
        const char* was =
            tiny.RootElement()->FirstChildElement("wpt")->FirstChildElement("name")->GetText();
        GpxDocument doc;
        std::string error;
        ASSERT_TRUE(readGpx(text, doc, error)) << error;
        EXPECT_EQ(doc.waypoints.at(0).name, was ? was : "");
    }
}

}  // namespace
