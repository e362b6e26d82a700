#include "formats/route_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/codepage.h"
#include "support/route_fixtures.h"
#include "support/temp_dir.h"

namespace {

template <size_t N>
std::u16string text(const std::array<char16_t, N>& field) {
    std::u16string s(field.data(), N);
    return s.substr(0, s.find(u'\0'));
}

template <size_t N>
std::array<char16_t, N> field(std::u16string_view s) {
    std::array<char16_t, N> f{};
    std::copy_n(s.begin(), std::min(s.size(), N), f.begin());
    return f;
}

RouteFixture sampleRoute() {
    RouteFixture route;
    route.author = u"\u674E\u56DB";  // 李四
    route.lastUpDate = 20100102;
    route.startCity = u"\u5317\u4EAC";
    route.endCity = u"Tianjin";
    route.headerText = u"header text";
    route.records = {
        {.title = u"Trip",
         .kind = 0,
         .mileage = 230000,
         .param1 = 7,
         .param2 = 8,
         .lng = 11639000,
         .lat = 3990000,
         .content = u"Nice & easy"},
        {.title = u"Gate", .kind = 1, .lng = 11639100, .lat = 3990100, .img = u"gate.jpg"},
        {.title = u"Leg",
         .kind = 2,
         .mileage = 5,
         .lng = -11640000,
         .lat = -3991000,
         .content = u"North",
         .img = u"leg.png"},
    };
    return route;
}

struct RouteFileTest : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("r.rut");

    RouteBookData read(const std::string& bytes) {
        writeFileBytes(path, bytes);
        RouteBookData data;
        EXPECT_EQ(data.readRouteFile(path), 1);
        return data;
    }
};

TEST_F(RouteFileTest, NewObjectWritesTheEmpty140ByteFile) {
    RouteBookData data;
    EXPECT_TRUE(data.records.empty());
    EXPECT_TRUE(data.points.empty());
    ASSERT_EQ(data.writeRouteFile(path), 1);
    std::string bytes = readFileBytes(path);
    EXPECT_EQ(bytes.size(), 140u);
    EXPECT_EQ(bytes, routeFileBytes(RouteFixture{}));
    EXPECT_EQ(bytes.substr(0, 24), std::string("S\0M\0G\0_\0R\0U\0T\0\0\0\0\0\0\0\3\1\0\0", 24));

    RouteRecord fresh;
    EXPECT_EQ(fresh.kind, RecordKind::Book);
    EXPECT_EQ(std::tie(fresh.mileage, fresh.param1, fresh.param2, fresh.lng, fresh.lat),
              std::make_tuple(0, 1, 100, 11600000, 3900000));
    EXPECT_EQ(text(fresh.title), u"");
}

TEST_F(RouteFileTest, WritesExactlyTheBytesOfItsRecordsAndReadsThemBack) {
    RouteFixture fixture = sampleRoute();
    fixture.recordIndex = std::vector<int32_t>{17, 18, 19};
    RouteBookData data = read(routeFileBytes(fixture));
    ASSERT_EQ(data.records.size(), 3u);
    EXPECT_EQ(data.header.recordIndex, (std::vector<int32_t>{17, 18, 19}));
    EXPECT_EQ(text(data.header.author), fixture.author);
    EXPECT_EQ(data.header.lastUpDate, 20100102);
    EXPECT_EQ(text(data.header.startCity), fixture.startCity);
    EXPECT_EQ(text(data.header.endCity), u"Tianjin");
    EXPECT_EQ(data.header.headerText, u"header text");
    for (size_t i = 0; i < 3; ++i) {
        const RouteRecord& r = *data.records[i];
        const RecordFixture& f = fixture.records[i];
        EXPECT_EQ(text(r.title), f.title);
        EXPECT_EQ(static_cast<int16_t>(r.kind), f.kind);
        EXPECT_EQ(std::tie(r.mileage, r.param1, r.param2, r.lng, r.lat),
                  std::tie(f.mileage, f.param1, f.param2, f.lng, f.lat));
        EXPECT_EQ(r.content, f.content);
        EXPECT_EQ(r.img, f.img);
        EXPECT_EQ(r.contentLength, static_cast<int32_t>(f.content.size()));
    }
    // Written back, the index is zeros again and everything else is the same bytes.
    std::string out = dir.file("out.rut");
    ASSERT_EQ(data.writeRouteFile(out), 1);
    fixture.recordIndex.reset();
    EXPECT_EQ(readFileBytes(out), routeFileBytes(fixture));
}

TEST_F(RouteFileTest, AcceptsOnlyTheRightMagicAndVersion258OrLater) {
    struct Case {
        std::u16string magic;
        uint32_t version;
        int expected;
    } cases[] = {
        {u"SMG_RUT", 257, 0},        {u"SMG_RUT", 258, 1},   {u"SMG_RUT", 259, 1},
        {u"SMG_RUT", 0xFFFFFFFF, 1}, {u"SMG_RUX", 259, 0},   {u"SMG_RU", 259, 0},
        {u"SMG_RUTT", 259, 0},       {u"SMG_TRACK", 259, 0}, {u"", 259, 0},
    };
    for (const auto& c : cases) {
        RouteFixture fixture = sampleRoute();
        fixture.magic = c.magic;
        fixture.version = c.version;
        writeFileBytes(path, routeFileBytes(fixture));
        RouteBookData data;
        data.header.lastUpDate = 1;
        EXPECT_EQ(data.readRouteFile(path), c.expected) << c.version;
        EXPECT_EQ(data.records.size(), c.expected ? 3u : 0u);
        EXPECT_EQ(data.header.lastUpDate, c.expected ? 20100102 : 1);
        EXPECT_EQ(data.header.version, c.expected ? c.version : 259u);
    }
}

TEST_F(RouteFileTest, MissingAndReadOnlyFilesAreNotRead) {
    RouteBookData data;
    EXPECT_EQ(data.readRouteFile(dir.file("missing.rut")), 0);
    writeFileBytes(path, routeFileBytes(sampleRoute()));
#ifdef _WIN32
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    if (HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        GTEST_SKIP() << "the system lets this user write read-only files (wine as root)";
    }
#else
    chmod(platform::ansiToUtf8(path).c_str(), 0444);
    if (access(platform::ansiToUtf8(path).c_str(), W_OK) == 0) GTEST_SKIP() << "running as root";
#endif
    EXPECT_EQ(data.readRouteFile(path), 0);
    EXPECT_EQ(readFirstRecordTitle(path), "");
    EXPECT_TRUE(data.records.empty());
}

TEST_F(RouteFileTest, AFileCutShortKeepsTheRecordsReadWhole) {
    RouteFixture fixture = sampleRoute();
    std::string bytes = routeFileBytes(fixture);
    // Every field boundary, and the bytes either side of it.
    std::vector<size_t> boundaries = {20, 24, 88, 92, 112, 132, 136};
    size_t at = 136 + 2 * fixture.headerText.size();
    boundaries.insert(boundaries.end(), {at, at + 4, at + 4 + 4 * fixture.records.size()});
    std::vector<size_t> recordEnds;
    at = boundaries.back();
    for (const auto& r : fixture.records) {
        for (size_t offset : {40, 42, 46, 50, 54, 58, 62, 66})
            boundaries.push_back(at + offset);
        boundaries.push_back(at + 66 + 2 * r.content.size());
        boundaries.push_back(at + 70 + 2 * r.content.size());
        recordEnds.push_back(at += recordBytes(r).size());
        boundaries.push_back(at);
    }
    ASSERT_EQ(at, bytes.size());
    for (size_t boundary : boundaries) {
        for (size_t cut : {boundary - 1, boundary, boundary + 1}) {
            if (cut > bytes.size()) continue;
            writeFileBytes(path, bytes.substr(0, cut));
            RouteBookData data;
            EXPECT_EQ(data.readRouteFile(path), cut >= 24 ? 1 : 0) << cut;
            size_t whole = std::count_if(recordEnds.begin(), recordEnds.end(),
                                         [&](size_t e) { return e <= cut; });
            ASSERT_EQ(data.records.size(), whole) << cut;
            if (whole > 0) {
                EXPECT_EQ(data.records[whole - 1]->img, fixture.records[whole - 1].img);
            }
        }
    }
}

TEST_F(RouteFileTest, LengthsThatClaimMoreThanTheFileHoldsReadNothingMore) {
    struct Case {
        const char* what;
        RouteFixture route;
        size_t records;
    };
    std::vector<Case> cases;
    RouteFixture hugeCount = sampleRoute();
    hugeCount.recordCount = 0x7FFFFFFF;
    cases.push_back({"record count", hugeCount, 0});
    RouteFixture hugeContent = sampleRoute();
    hugeContent.records[1].contentLength = 0x7FFFFFFF;
    cases.push_back({"content length", hugeContent, 1});
    RouteFixture hugeImg = sampleRoute();
    hugeImg.records[2].imgLength = 0x40000000;
    cases.push_back({"img length", hugeImg, 2});
    RouteFixture negative = sampleRoute();
    negative.records[0].content.clear();
    negative.records[0].contentLength = -3;  // no text, the next field follows at once
    negative.recordCount = -1;
    cases.push_back({"negative lengths", negative, 0});
    for (const auto& c : cases) {
        RouteBookData data = read(routeFileBytes(c.route));
        EXPECT_EQ(data.records.size(), c.records) << c.what;
    }
    // A negative text length reads as no text and keeps the fields after it in place.
    negative.recordCount.reset();
    RouteBookData data = read(routeFileBytes(negative));
    ASSERT_EQ(data.records.size(), 3u);
    EXPECT_EQ(data.records[0]->contentLength, -3);
    EXPECT_EQ(data.records[0]->content, u"");
    EXPECT_EQ(data.records[2]->img, u"leg.png");
}

TEST_F(RouteFileTest, TextsEndAtTheirFirstNulButTheirWholeLengthIsConsumed) {
    RouteFixture fixture;
    fixture.headerText = std::u16string(u"hd\0xx", 5);
    fixture.records = {
        {.title = u"ABCDEFGHIJKLMNOPQRST",
         .kind = 1,
         .content = std::u16string(u"ab\0cd", 5),
         .img = u"X"},
        {.title = u"second", .kind = 2, .lat = 4},
    };
    RouteBookData data = read(routeFileBytes(fixture));
    EXPECT_EQ(data.header.headerText, u"hd");
    EXPECT_EQ(data.header.headerTextLength, 5);
    ASSERT_EQ(data.records.size(), 2u);
    EXPECT_EQ(std::u16string(data.records[0]->title.data(), 20), u"ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(data.records[0]->content, u"ab");
    EXPECT_EQ(data.records[0]->contentLength, 5);
    EXPECT_EQ(data.records[0]->img, u"X");
    EXPECT_EQ(text(data.records[1]->title), u"second");
    EXPECT_EQ(data.records[1]->lat, 4);
}

TEST_F(RouteFileTest, ASecondFileWithoutClearingAppendsAndClearingKeepsTheHeader) {
    RouteBookData data = read(routeFileBytes(sampleRoute()));
    RouteFixture second;
    second.version = 258;
    second.records = {{.title = u"More", .kind = 1}};
    writeFileBytes(path, routeFileBytes(second));
    ASSERT_EQ(data.readRouteFile(path), 1);
    ASSERT_EQ(data.records.size(), 4u);
    EXPECT_EQ(text(data.records[3]->title), u"More");
    EXPECT_EQ(data.header.version, 258u);

    data.points.push_back({1, 2, 3});
    data.clearRouteBookData();
    EXPECT_TRUE(data.records.empty());
    EXPECT_TRUE(data.points.empty());
    EXPECT_EQ(data.header.recordCount, 1);
    EXPECT_EQ(data.header.version, 258u);
}

TEST_F(RouteFileTest, WritingReplacesALongerFileAndFailsWithoutAFolder) {
    writeFileBytes(path, std::string(1000, 'x'));
    RouteBookData data;
    data.header.author = field<32>(u"me");
    ASSERT_EQ(data.writeRouteFile(path), 1);
    RouteFixture expected;
    expected.author = u"me";
    EXPECT_EQ(readFileBytes(path), routeFileBytes(expected));
    EXPECT_EQ(data.writeRouteFile(dir.file("no/such/folder.rut")), 0);
}

TEST_F(RouteFileTest, FirstRecordTitle) {
    RouteFixture chinese = sampleRoute();
    chinese.records[0].title = u"\u5317\u4EAC\u4E00\u65E5\u6E38";  // 北京一日游
    RouteFixture full = sampleRoute();
    full.records[0].title = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // 20 units stored, no terminator
    RouteFixture empty;
    RouteFixture badMagic = sampleRoute();
    badMagic.magic = u"NOPE";
    badMagic.version = 1;
    std::string cutInTitle = routeFileBytes(sampleRoute()).substr(0, 140 + 22 + 12 + 6);
    struct Case {
        const char* what;
        std::string bytes;
        std::string title;
    } cases[] = {
        {"plain", routeFileBytes(sampleRoute()), "Trip"},
        {"GBK", routeFileBytes(chinese), platform::utf8ToAnsi("北京一日游")},
        {"20 units", routeFileBytes(full), "ABCDEFGHIJKLMNOPQRST"},
        {"no records", routeFileBytes(empty), ""},
        {"magic not checked", routeFileBytes(badMagic), "Trip"},
        {"cut inside the title", cutInTitle, "Tri"},
        {"cut inside a unit", routeFileBytes(sampleRoute()).substr(0, 140 + 22 + 12 + 7), "Trip"},
        {"cut inside the header", routeFileBytes(sampleRoute()).substr(0, 100), ""},
    };
    for (const auto& c : cases) {
        writeFileBytes(path, c.bytes);
        EXPECT_EQ(readFirstRecordTitle(path), c.title) << c.what;
    }
    EXPECT_EQ(readFirstRecordTitle(dir.file("missing.rut")), "");
    EXPECT_EQ(readFirstRecordTitle(""), "");
}

}  // namespace
