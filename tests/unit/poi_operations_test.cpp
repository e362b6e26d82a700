#include "ops/poi_operations.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "support/poi_fixtures.h"
#include "support/temp_dir.h"

namespace {

PoiStore storeOf(const std::string& bytes) {
    TempDir dir;
    writeFileBytes(dir.file("s.poi"), bytes);
    PoiStore store;
    store.readPoiStore(dir.file("s.poi"));
    return store;
}

std::string bytesOf(const PoiStore& store) {
    TempDir dir;
    store.writePoiStore(dir.file("s.poi"));
    return readFileBytes(dir.file("s.poi"));
}

PoiRecordFixture named(const char16_t* name, int n) {
    PoiRecordFixture r;
    r.name = name;
    r.lng = n;
    r.time = {2010, 1, 2, 3, 4, n};
    r.filler = 0x5A;
    return r;
}

struct FixedClock : platform::Clock {
    platform::LocalTime localNow() const override { return {2011, 12, 31, 23, 59, 58}; }
};

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"GB2312\" ?>";

TEST(PoiListTest, Documents) {
    PoiRecordFixture home;
    home.type = 3;
    home.icon = 5;
    home.lng = 11600000;
    home.lat = 3900000;
    home.showName = 1;
    home.name = u"Home";
    PoiRecordFixture timed = home;
    timed.time = {2009, 3, 21, 8, 5, 9};
    timed.name = u"家 & <b>";
    struct Case {
        const char* label;
        std::string store;
        std::string list;
    };
    const Case cases[] = {
        {"version 1", poiStoreBytes(1, 1, {poiRecordBytes(1, home)}),
         "<point page=\"1\" count=\"1\"><point id=\"0\" lastUpDate=\"\" URL=\"\" hide=\"false\" "
         "level=\"12\" lng=\"11600000\" lat=\"3900000\" showName=\"1\" iconIndex=\"5\" "
         "nType=\"3\">Home</point></point>"},
        {"version 4 with a time, a Chinese name and specials",
         poiStoreBytes(1, 4, {poiRecordBytes(4, timed)}),
         "<point page=\"1\" count=\"1\"><point id=\"0\" lastUpDate=\"20090321080509\" URL=\"\" "
         "hide=\"false\" level=\"12\" lng=\"11600000\" lat=\"3900000\" showName=\"1\" "
         "iconIndex=\"5\" nType=\"3\">家 &amp; &lt;b&gt;</point></point>"},
        {"version 2 uses the other time offset", poiStoreBytes(1, 2, {poiRecordBytes(2, timed)}),
         "<point page=\"1\" count=\"1\"><point id=\"0\" lastUpDate=\"20090321080509\" URL=\"\" "
         "hide=\"false\" level=\"12\" lng=\"11600000\" lat=\"3900000\" showName=\"1\" "
         "iconIndex=\"5\" nType=\"3\">家 &amp; &lt;b&gt;</point></point>"},
        {"empty", poiStoreBytes(0, 4, {}), "<point page=\"1\" count=\"0\"></point>"},
        {"unknown version", poiStoreBytes(2, 7, {}), "<point page=\"1\" count=\"2\"></point>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(buildPoiListXml(storeOf(c.store)), platform::utf8ToAnsi(kDeclaration + c.list));
    }
    PoiStore mismatch = storeOf(poiStoreBytes(1, 1, {poiRecordBytes(1, home)}));
    mismatch.header.count = 2;
    EXPECT_EQ(buildPoiListXml(mismatch), "");
}

TEST(PoiEditTest, AddedPlacesGoInFrontWithTheTimeOfTheCall) {
    FixedClock clock;
    platform::setClock(&clock);
    struct Case {
        const char* label;
        int32_t version;
        std::string text;
        int result;
        std::vector<PoiRecordFixture> added;  // in store order
    };
    PoiRecordFixture home;
    home.lng = 11600000;
    home.lat = 3900000;
    home.name = u"Home";
    PoiRecordFixture second;
    second.name = u"二";
    second.lat = -5;
    PoiRecordFixture longName;
    longName.name = std::u16string(31, u'n');
    PoiRecordFixture noName;
    const Case cases[] = {
        {"one place", 4, "<p lng=\"11600000\" lat=\"3900000\">Home</p>", 1, {home}},
        {"white space after it", 3, "<p lng=\"11600000\" lat=\"3900000\">Home</p>\n", 1, {home}},
        {"two places in reverse order",
         5,
         platform::utf8ToAnsi("<p lng=\"11600000\" lat=\"3900000\">Home</p><q lat=\"-5\">二</q>"),
         1,
         {second, home}},
        {"a name cut to 31 units", 1, "<p>" + std::string(40, 'n') + "</p>", 1, {longName}},
        {"no attributes and no name", 2, "<p/>", 1, {noName}},
        {"not well-formed", 4, "<p>Home</q>", -1, {}},
        {"empty", 4, "", -1, {}},
        {"nested 40,000 deep",
         4,
         [] {
             std::string deep;
             for (int i = 0; i < 40000; ++i)
                 deep += "<p>";
             return deep;
         }(),
         -1,
         {}},
        {"a version that takes nothing", 0, "<p>Home</p>", 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> old = {poiRecordBytes(c.version, named(u"a", 1)),
                                        poiRecordBytes(c.version, named(u"b", 2))};
        PoiStore store = storeOf(poiStoreBytes(2, c.version, old, {1, 2, 3}));
        EXPECT_EQ(addPois(store, c.text), c.result);
        std::vector<std::string> expected;
        for (PoiRecordFixture r : c.added) {
            if (c.version != 1) r.time = {2011, 12, 31, 23, 59, 58};
            expected.push_back(poiRecordBytes(c.version, r));
        }
        expected.insert(expected.end(), old.begin(), old.end());
        int32_t count = PoiStore::recordSize(c.version) ? static_cast<int32_t>(expected.size()) : 2;
        std::string want = poiStoreBytes(
            count, c.version, c.version ? expected : std::vector<std::string>{}, {1, 2, 3});
        EXPECT_EQ(bytesOf(store), want);
    }
    platform::setClock(nullptr);
}

TEST(PoiEditTest, DeletionsNameTheListAsItWasAndAllOrNothing) {
    struct Case {
        const char* text;
        int result;
        std::vector<int> kept;
    };
    const Case cases[] = {
        {"2,0", 1, {1}},         {"0,2", 1, {1}},
        {",,1,", 1, {0, 2}},     {"abc", 1, {1, 2}},
        {"1,1", -1, {0, 1, 2}},  {"3", -1, {0, 1, 2}},
        {"0,-1", -1, {0, 1, 2}}, {"4294967297", -1, {0, 1, 2}},
        {"", 1, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> records;
        for (int i = 0; i < 3; ++i)
            records.push_back(poiRecordBytes(4, named(u"x", i)));
        PoiStore store = storeOf(poiStoreBytes(3, 4, records));
        EXPECT_EQ(deletePois(store, c.text), c.result);
        std::vector<std::string> kept;
        for (int i : c.kept)
            kept.push_back(records[static_cast<size_t>(i)]);
        EXPECT_EQ(bytesOf(store), poiStoreBytes(static_cast<int32_t>(kept.size()), 4, kept));
    }
    PoiStore unknown = storeOf(poiStoreBytes(3, 8, {}));
    EXPECT_EQ(deletePois(unknown, "0"), 1);
    EXPECT_EQ(unknown.header.count, 3);
}

}  // namespace
