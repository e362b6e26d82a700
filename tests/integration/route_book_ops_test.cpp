#include <gtest/gtest.h>

#include <optional>

#include "common/task_status.h"
#include "device/device_connection.h"
#include "ops/route_book_list.h"
#include "ops/route_book_view.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/navsim_harness.h"
#include "support/recording_seat.h"
#include "support/route_fixtures.h"

namespace {

std::string trackBytes(int32_t shift) {
    return trackFileBytes(256,
                          {{0, {{11639000 + shift, 3990000, 0}, {11639500 + shift, 3990500, 0}}}});
}

// The route file of the example document: a Book record titled `title`, a POI and a line.
RouteFixture route(const std::u16string& title, const std::u16string& description) {
    RouteFixture r;
    r.author = u"Li";
    r.startCity = u"A";
    r.endCity = u"B";
    RecordFixture book;
    book.title = title;
    book.mileage = 230000;
    book.content = description;
    RecordFixture gate;
    gate.title = u"Gate";
    gate.kind = 1;
    gate.lng = 11639000;
    gate.lat = 3990000;
    RecordFixture leg;
    leg.title = u"Leg";
    leg.kind = 2;
    leg.lng = 11640000;
    leg.lat = 3991000;
    leg.content = u"North";
    r.records = {book, gate, leg};
    return r;
}

class RouteBookOpsTest : public ::testing::TestWithParam<ConnectionMode> {
  protected:
    AttachedNavigator nav{GetParam()};
    RecordingSeat seat;
    DeviceManager manager{seat};

    std::string trackFolder() const { return nav.local("userdata/track/"); }

    // Route book `name` (ANSI) with its track last written on `day` and, when given, its route.
    void addBook(const std::string& name, int day, int32_t shift,
                 const std::optional<RouteFixture>& routeFile) {
        makeFolders(nav.storage(), "userdata/track");
        std::string folder = trackFolder();
        writeFileBytes(folder + name + ".trk", trackBytes(shift));
        writeFileBytes(folder + name + ".sim", name + " sim");
        if (routeFile) {
            platform::createFolder(folder + name);
            writeFileBytes(folder + name + platform::kPathSeparator + name + ".rut",
                           routeFileBytes(*routeFile));
            writeFileBytes(folder + name + platform::kPathSeparator + name + ".tps", name + " tps");
        }
        platform::File f(folder + name + ".trk", platform::OpenMode::ReadWriteExisting);
        f.setTimes(130000000000000000ULL + static_cast<uint64_t>(day) * 864000000000ULL);
    }

    void connect() { ASSERT_EQ(checkConnection(manager), 1); }
};

const std::string kListHead = "<?xml version=\"1.0\" encoding=\"GBK\" ?>";

TEST_P(RouteBookOpsTest, ListingOrdersByTimeAndGivesFilesTheirTitles) {
    const std::string greatWall = platform::utf8ToAnsi("长城");
    addBook("a", 3, 0, route(u"Alpha", u"Nice"));
    addBook("b", 1, 10, std::nullopt);
    addBook("c", 5, 20, route(u"长城", u"Wall"));
    addBook("d", 2, 30, route(u"x/y<&>", u"Bad"));
    addBook("e", 4, 40, route(u"Alpha", u"Other"));  // the title of a's files by then
    addBook(".hidden", 0, 50, std::nullopt);
    connect();

    EXPECT_EQ(connToPDA(manager, "r"),
              platform::utf8ToAnsi(
                  kListHead +
                  "<rblist count=\"5\" page=\"1\"><rb><title>长城</title><rbid>4</rbid></rb><rb>"
                  "<title>Alpha</title><rbid>3</rbid></rb><rb><title>Alpha</title><rbid>2</rbid>"
                  "</rb><rb><title>x/y&lt;&amp;&gt;</title><rbid>1</rbid></rb><rb><title>b</title>"
                  "<rbid>0</rbid></rb></rblist>"));

    std::map<std::string, std::string> expected;
    auto files = [&](const std::string& now, const std::string& was, int32_t shift, bool routed,
                     const RouteFixture& r) {
        expected[now + ".trk"] = trackBytes(shift);
        expected[now + ".sim"] = was + " sim";
        if (!routed) return;
        expected[now] = "<dir>";
        expected[now + "/" + now + ".rut"] = routeFileBytes(r);
        expected[now + "/" + now + ".tps"] = was + " tps";
    };
    files("Alpha", "a", 0, true, route(u"Alpha", u"Nice"));
    files("b", "b", 10, false, {});
    files(greatWall, "c", 20, true, route(u"长城", u"Wall"));
    files("d", "d", 30, true, route(u"x/y<&>", u"Bad"));
    files("e", "e", 40, true, route(u"Alpha", u"Other"));
    files(".hidden", ".hidden", 50, false, {});
    EXPECT_EQ(treeOf(trackFolder()), expected);

    // Viewing reads the files of the entry itself, also where they kept their name.
    EXPECT_EQ(showRoadbook(manager, "2"),
              kListHead +
                  "<RouteBook type=\"lushu\" author=\"Li\" lastUpDate=\"20090321\" startCity=\"A\" "
                  "endCity=\"B\" id=\"\" download=\"0\" preview=\"0\" name=\"Alpha\" "
                  "mileage=\"230000\" img=\"\"><poilist><poi title=\"Gate\" lng=\"11639000\" "
                  "lat=\"3990000\" img=\"\"></poi></poilist><linelist><line title=\"Leg\" id=\"2\" "
                  "lng=\"11640000\" lat=\"3991000\" img=\"\">North</line></linelist><printlist>"
                  "<lineId id=\"\"><p lng=\"11639000\" lat=\"3990000\" /><p lng=\"11639500\" "
                  "lat=\"3990500\" /></lineId></printlist><Description>Nice</Description>"
                  "</RouteBook>");
    EXPECT_EQ(showRoadbook(manager, "0"),
              platform::utf8ToAnsi(kListHead +
                                   "<RouteBook type=\"lushu\" author=\"佚名\" lastUpDate=\"\" "
                                   "startCity=\"\" endCity=\"\" id=\"\" name=\"b\" mileage=\"\" "
                                   "img=\"\"><poilist></poilist><linelist></linelist><printlist>"
                                   "<lineId id=\"\"><p lng=\"11639010\" lat=\"3990000\" /><p "
                                   "lng=\"11639510\" lat=\"3990500\" /></lineId></printlist>"
                                   "<Description></Description></RouteBook>"));
    std::string bad = showRoadbook(manager, "1");
    EXPECT_NE(bad.find("name=\"x/y&lt;&amp;&gt;\""), std::string::npos) << bad;
    EXPECT_NE(bad.find("<p lng=\"11639030\" lat=\"3990000\" />"), std::string::npos) << bad;
    std::string other = showRoadbook(manager, "3");
    EXPECT_NE(other.find("<Description>Other</Description>"), std::string::npos) << other;
    EXPECT_TRUE(treeOf(platform::privateFolder()).empty());
}

// The navigator's storage ignores letter case, full-width letters included: a title that another
// set's files carry in another case is taken, on a drive whose file system tells them apart too.
TEST_P(RouteBookOpsTest, ATitleTakenInAnotherLetterCaseLeavesTheFilesTheirName) {
    addBook("old", 1, 0, route(u"Ｔａｋｅｎ", u"x"));
    addBook(platform::utf8ToAnsi("ＴＡＫＥＮ"), 2, 10, std::nullopt);
    connect();
    connToPDA(manager, "r");
    EXPECT_TRUE(platform::fileExists(trackFolder() + "old.trk"));
    EXPECT_TRUE(platform::folderExists(trackFolder() + "old"));
    // By the names listed: where the file system ignores letter case (Windows), asking for the
    // file by name would find the other set's.
    auto entries = platform::listFolder(trackFolder());
    ASSERT_TRUE(entries);
    for (const auto& e : *entries)
        EXPECT_NE(e.name, platform::utf8ToAnsi("Ｔａｋｅｎ.trk"));
    EXPECT_NE(showRoadbook(manager, "0").find("<Description>x</Description>"), std::string::npos);
}

TEST_P(RouteBookOpsTest, TheListIsAnsweredFromMemoryUntilARescanIsAsked) {
    makeFolders(nav.storage(), "userdata/track");
    connect();
    EXPECT_EQ(connToPDA(manager, "r"), kListHead + "<rblist count=\"0\" page=\"1\"></rblist>");
    addBook("one", 1, 0, std::nullopt);
    const std::string one = kListHead +
                            "<rblist count=\"1\" page=\"1\"><rb><title>one</title><rbid>0</rbid>"
                            "</rb></rblist>";
    EXPECT_EQ(connToPDA(manager, "x"), one);  // an empty list is always rebuilt
    addBook("two", 2, 0, std::nullopt);
    nav.device.sim.control("reset");
    EXPECT_EQ(connToPDA(manager, "x"), one);
    EXPECT_EQ(nav.device.sim.calls(), 0);
    EXPECT_EQ(connToPDA(manager, "r"),
              kListHead +
                  "<rblist count=\"2\" page=\"1\"><rb><title>two</title><rbid>1</rbid></rb><rb>"
                  "<title>one</title><rbid>0</rbid></rb></rblist>");
}

TEST_P(RouteBookOpsTest, ABadRbidPostsCode2) {
    addBook("one", 1, 0, std::nullopt);
    addBook("two", 2, 0, route(u"two", u"Second"));
    connect();
    EXPECT_EQ(showRoadbook(manager, "0"), "");  // the list was never built
    connToPDA(manager, "r");
    EXPECT_EQ(showRoadbook(manager, "-1"), "");
    EXPECT_EQ(showRoadbook(manager, "2"), "");
    EXPECT_EQ(showRoadbook(manager, "4294967296"), "");  // beyond int: not a wrapped 0
    EXPECT_EQ(seat.statusCodes(),
              (std::vector<TaskStatus>{TaskStatus::UnknownError, TaskStatus::UnknownError,
                                       TaskStatus::UnknownError, TaskStatus::UnknownError}));
    EXPECT_EQ(seat.pageCalls()[0], "kankan(\"出现未知错误，建议重启程序！\",\"2\",\"0\")");
    seat.clear();
    std::string first = showRoadbook(manager, "abc");
    EXPECT_NE(first.find("name=\"one\""), std::string::npos) << first;
    EXPECT_NE(showRoadbook(manager, " +1").find("<Description>Second</Description>"),
              std::string::npos);
    EXPECT_TRUE(seat.statusCodes().empty());
}

INSTANTIATE_TEST_SUITE_P(BothModes, RouteBookOpsTest, ::testing::Values(RemovableDrive, RapiDevice),
                         [](const auto& info) {
                             return info.param == RapiDevice ? "RemoteApi" : "Drive";
                         });

}  // namespace
