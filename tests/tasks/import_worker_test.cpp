#include "tasks/import_worker.h"

#include <thread>

#include "platform/codepage.h"
#include "platform/files.h"
#include "task_harness.h"
#include "tasks/http_transfer.h"
#include "tasks/task_messages.h"
#include "tasks/task_runner.h"

namespace {

using namespace std::chrono_literals;

std::string item(const std::string& url, const std::string& name) {
    return "<rb><url>" + url + "</url><name>" + name + "</name></rb>";
}

class ImportTest : public TaskHarness {
  protected:
    // Serves the set of route book `inner` at /a.zip and imports it as `name`.
    void importAs(const std::string& name, const std::string& inner = "X",
                  PackageMaker maker = PackageMaker::Own) {
        server.serve("/a.zip", makePackage(routeBookSet(inner), maker));
        run(importToPDA, item(server.url("/a.zip"), name));
    }
    std::vector<std::string> progressThen(std::vector<int> codes, int items = 1) {
        std::vector<std::string> calls;
        for (int i = 1; i <= items; ++i)
            calls.push_back(progressCall(i, "down"));
        for (int c : codes)
            calls.push_back(statusCall(c));
        return calls;
    }
};

TEST_F(ImportTest, InstallsThePackageUnderThePageName) {
    const std::string n = beijing();
    const FileTree package = routeBookSet("X");
    for (Link how : {Link::Device, Link::Drive}) {
        for (PackageMaker maker :
             {PackageMaker::Own, PackageMaker::InfoZip, PackageMaker::Python}) {
            SCOPED_TRACE(testing::Message() << (how == Link::Device ? "device " : "drive ")
                                            << static_cast<int>(maker));
            fresh(how);

            importAs(n, "X", maker);
            EXPECT_EQ(pageCalls(), progressThen({0}));
            FileTree got = treeOf(onNavigator());
            ASSERT_EQ(got.size(), 5u);
            EXPECT_EQ(got[n + ".sim"], package.at("X.sim"));
            EXPECT_EQ(got[n + "/" + n + ".rut"], package.at("X/X.rut"));
            EXPECT_EQ(got[n + "/" + n + ".tps"], package.at("X/X.tps"));
            EXPECT_EQ(got[n], "<dir>");
            // Stamped: the first segment's date is filled in, nothing else moves.
            const std::string& track = got[n + ".trk"];
            ASSERT_EQ(track.size(), package.at("X.trk").size());
            EXPECT_NE(track, package.at("X.trk"));
            EXPECT_EQ(listedNames(), std::vector<std::string>{n});
            EXPECT_TRUE(treeOf(inTemp()).empty());
        }
    }
}

// A stopped import may leave an unpacked set behind; the next import of that name installs
// what it downloads, not the leftovers.
TEST_F(ImportTest, LeftoversInTheTemporaryFolderAreNotInstalled) {
    connect(Link::Device);
    platform::createFolder(inTemp("A"));
    writeFileBytes(inTemp("A.trk"), "old track");
    writeFileBytes(inTemp("A/A.rut"), "old route");
    writeFileBytes(inTemp("A/stale.dat"), "stale");
    importAs("A", "X");
    EXPECT_EQ(pageCalls(), progressThen({0}));
    FileTree got = treeOf(onNavigator());
    EXPECT_EQ(got["A/A.rut"], "route of X");
    EXPECT_EQ(got.count("A/stale.dat"), 0u);
    EXPECT_EQ(got["A.trk"].size(), trackBytes(50).size());
    EXPECT_TRUE(treeOf(inTemp()).empty());
}

TEST_F(ImportTest, KnownNamesAreCountedButNotDownloaded) {
    connect(Link::Device);
    addRouteBook("A", routeBookSet("A"));
    server.serve("/b.zip", makePackage(routeBookSet("B")));
    run(importToPDA, item(server.url("/a.zip"), "A") + item(server.url("/b.zip"), "B"));
    EXPECT_EQ(pageCalls(), progressThen({0}, 2));
    EXPECT_EQ(server.requestCount("/a.zip"), 0);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(ImportTest, UrlsReachTheServerWithTheirAmpersands) {
    connect(Link::Drive);
    server.serve("/a.zip", makePackage(routeBookSet("A")));
    run(importToPDA, item(server.url("/a.zip?id=7&kind=rb&x=%41"), "A"));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/a.zip?id=7&kind=rb&x=&41");
    EXPECT_EQ(requests[0].header("User-Agent"), "Hello");
}

TEST_F(ImportTest, ArgumentsWithoutItems) {
    connect(Link::Device);
    struct Case {
        const char* argument;
        std::vector<std::string> calls;
    } cases[] = {
        {"", {statusCall(0)}},
        {"   ", {statusCall(0)}},
        {"<!-- nothing -->", {statusCall(0)}},
        {"<rb><url>http://x/a.zip</url><name>A</name>", {statusCall(2)}},  // unclosed
        {"<rb><url>a</url></name></rb>", {statusCall(2)}},
        // A top-level element that is not an item still counts, with nothing to fetch.
        {"<other/>", {progressCall(1, "down"), statusCall(2)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        sink.clear();
        run(importToPDA, c.argument);
        EXPECT_EQ(pageCalls(), c.calls);
    }
    EXPECT_TRUE(listedNames().empty());
}

TEST_F(ImportTest, NamesThatAreNoPlainFileNameAreRefused) {
    connect(Link::Drive);
    server.serve("/a.zip", makePackage(routeBookSet("X")));
    for (const char* name :
         {"..", ".", "../up", "a/b", "a\\b", "a:b", "a*b", "a|b", "a?b", "a\x01b"}) {
        SCOPED_TRACE(name);
        sink.clear();
        run(importToPDA, item(server.url("/a.zip"), name));
        EXPECT_EQ(pageCalls(), progressThen({2}));
    }
    EXPECT_EQ(server.requestCount("/a.zip"), 0);
    EXPECT_TRUE(treeOf(onNavigator()).empty());
    EXPECT_TRUE(treeOf(inTemp()).empty());
    // A double-byte name whose second byte is that of "\\" (81 5C in GBK) is a plain name.
    std::string name = platform::utf8ToAnsi("乗");
    ASSERT_EQ(name, "\x81\x5C");
    sink.clear();
    run(importToPDA, item(server.url("/a.zip"), name));
    EXPECT_EQ(pageCalls(), progressThen({0}));
    EXPECT_TRUE(platform::fileExists(onNavigator(name + ".trk")));
}

// Every row of the import's failure table, with the navigator reached through the remote API.
TEST_F(ImportTest, FailureTable) {
    const std::string good = makePackage(routeBookSet("X"));
    std::string oversize(kMaxPackageBytes + 1, 'x');
    struct Case {
        const char* label;
        std::string body;
        int status;
        std::function<void(Navsim&)> arrange;
        std::vector<int> codes;
    } cases[] = {
        {"download failed", "", 404, nullptr, {4}},
        {"download over 20 MB", oversize, 200, nullptr, {7}},
        {"not a package", "<html>error page</html>", 200, nullptr, {10}},
        {"navigator store too small",
         good,
         200,
         [](Navsim& sim) { sim.control("store", "1000000 100"); },
         {6}},
        {"copy to the navigator failed", good, 200, [](Navsim& sim) { sim.fail("write", 3); }, {9}},
        {"copy and removal failed",
         good,
         200,
         [](Navsim& sim) {
             sim.fail("write", 3);
             sim.fail("delete", 1);
         },
         {9, 11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(Link::Device);
        if (c.arrange) c.arrange(navsim());
        server.serve("/a.zip", c.body, c.status);
        run(importToPDA, item(server.url("/a.zip"), "A"));
        EXPECT_EQ(pageCalls(), progressThen(c.codes));
        if (c.codes != std::vector<int>{9, 11}) {
            EXPECT_TRUE(treeOf(onNavigator()).empty());
        }
        EXPECT_TRUE(treeOf(inTemp()).empty());
        EXPECT_TRUE(listedNames().empty());
    }
}

// The navigator's store must hold five times the unpacked size: exactly that is enough.
TEST_F(ImportTest, NavigatorSpaceBoundary) {
    const FileTree set = routeBookSet("X");
    size_t total = 0;
    for (const auto& [path, bytes] : set)
        total += bytes.size();
    server.serve("/a.zip", makePackage(set));
    for (size_t free : {5 * total, 5 * total - 1}) {
        SCOPED_TRACE(free);
        fresh(Link::Device);
        navsim().control("store", "100000000 " + std::to_string(free));
        run(importToPDA, item(server.url("/a.zip"), "A"));
        EXPECT_EQ(pageCalls(), progressThen({free == 5 * total ? 0 : 6}));
    }
}

TEST_F(ImportTest, PackagesThatClimbOutOfTheTemporaryFolderAreRefused) {
    connect(Link::Drive);
    TempDir work;
    writeFileBytes(work.file("make.py"), R"(
import zipfile
z = zipfile.ZipFile('bad.zip', 'w')
z.writestr('X.trk', b'track')
z.writestr('../escaped.trk', b'evil')
z.close()
)");
    ASSERT_EQ(
        std::system(("cd '" + platform::ansiToUtf8(work.path()) + "' && python3 make.py").c_str()),
        0);
    server.serve("/a.zip", readFileBytes(work.file("bad.zip")));
    run(importToPDA, item(server.url("/a.zip"), "A"));
    EXPECT_EQ(pageCalls(), progressThen({10}));
    EXPECT_FALSE(platform::fileExists(inTemp("../escaped.trk")));
    EXPECT_TRUE(treeOf(onNavigator()).empty());
}

TEST_F(ImportTest, TooLittleSpaceOnThePc) {
    connect(Link::Drive);
    // Entries that claim 4 GB each: five times their sum is more than any test machine has.
    TempDir work;
    writeFileBytes(work.file("make.py"), R"(
import struct, zipfile
z = zipfile.ZipFile('big.zip', 'w')
z.writestr('X.trk', b'track')
for i in range(100):
    z.writestr('X/%d' % i, b'x')
z.close()
data = bytearray(open('big.zip', 'rb').read())
at = data.find(b'PK\x01\x02')
while at >= 0:
    data[at + 24:at + 28] = struct.pack('<I', 0xFFFFFFF0)
    at = data.find(b'PK\x01\x02', at + 4)
open('big.zip', 'wb').write(bytes(data))
)");
    ASSERT_EQ(
        std::system(("cd '" + platform::ansiToUtf8(work.path()) + "' && python3 make.py").c_str()),
        0);
    server.serve("/a.zip", readFileBytes(work.file("big.zip")));
    run(importToPDA, item(server.url("/a.zip"), "A"));
    EXPECT_EQ(pageCalls(), progressThen({6}));
    EXPECT_FALSE(platform::fileExists(inTemp("A.zip")));
    EXPECT_FALSE(platform::fileExists(inTemp("X.trk")));
}

TEST_F(ImportTest, LocalCopyFailure) {
    connect(Link::Drive);
    // A folder where the track file should go: the copy cannot create it.
    platform::createFolder(onNavigator("A.trk"));
    importAs("A");
    EXPECT_EQ(pageCalls(), progressThen({9}));
    EXPECT_TRUE(listedNames().empty());
    EXPECT_TRUE(treeOf(inTemp()).empty());
}

TEST_F(ImportTest, EarlierItemsStayAfterALaterFailure) {
    connect(Link::Device);
    server.serve("/a.zip", makePackage(routeBookSet("A")));
    run(importToPDA, item(server.url("/a.zip"), "A") + item(server.url("/none.zip"), "B") +
                         item(server.url("/a.zip"), "C"));
    EXPECT_EQ(pageCalls(), progressThen({4}, 2));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"A"});
    EXPECT_TRUE(platform::fileExists(onNavigator("A.trk")));
}

TEST_F(ImportTest, StopBeforeAnItemEndsWithCode0) {
    connect(Link::Device);
    server.serve("/a.zip", makePackage(routeBookSet("A")));
    // The page stops the task as soon as it hears of the second item.
    sink.setOnPost([this](const RecordingSink::Message& m) {
        if (m.message == WM_TASK_PROGRESS && m.lParam == 2) PauseTask(*device, std::string("t"));
    });
    run(importToPDA, item(server.url("/a.zip"), "A") + item(server.url("/a.zip"), "B"));
    EXPECT_EQ(pageCalls(), progressThen({0}, 2));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"A"});
    EXPECT_EQ(server.requestCount("/a.zip"), 1);
}

TEST_F(ImportTest, StopDuringTheDownloadLeavesNothing) {
    connect(Link::Device);
    LoopbackServer::Route slow;
    slow.behaviour = LoopbackServer::Behaviour::SlowBody;
    slow.interval = 5ms;
    server.setRoute("/slow.zip", slow);
    sink.setOnPost([this](const RecordingSink::Message& m) {
        if (m.message == WM_TASK_PROGRESS) {
            std::thread([this] {
                std::this_thread::sleep_for(200ms);
                PauseTask(*device, std::string("t"));
            }).detach();
        }
    });
    run(importToPDA, item(server.url("/slow.zip"), "A"));
    EXPECT_EQ(pageCalls(), progressThen({0}));
    EXPECT_TRUE(treeOf(inTemp()).empty());
    EXPECT_TRUE(treeOf(onNavigator()).empty());
}

// A stop while the set is being copied takes the partial set off the navigator again.
TEST_F(ImportTest, StopDuringTheCopyRemovesThePartialSet) {
    connect(Link::Device);
    FileTree set = routeBookSet("A", 400000);  // a track of some 4 MB: 2000 writes
    set["A/more.dat"] = "more";
    server.serve("/a.zip", makePackage(set));
    ASSERT_EQ(importToPDA(*device, item(server.url("/a.zip"), "A")), "");
    for (int i = 0; i < 6000 && navsim().calls("CeWriteFile") == 0; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(navsim().calls("CeWriteFile"), 0);
    PauseTask(*device, std::string("t"));
    ASSERT_TRUE(device->taskThread.waitIdle(60s));
    EXPECT_EQ(pageCalls(), progressThen({0}));
    EXPECT_TRUE(treeOf(onNavigator()).empty());
    EXPECT_TRUE(treeOf(inTemp()).empty());
    EXPECT_TRUE(listedNames().empty());
}

TEST_F(ImportTest, PausedImportWaitsAndContinues) {
    connect(Link::Drive);
    server.serve("/a.zip", makePackage(routeBookSet("A")));
    sink.setOnPost([this](const RecordingSink::Message& m) {
        if (m.message == WM_TASK_PROGRESS) PauseTask(*device, std::string("p"));
    });
    ASSERT_EQ(importToPDA(*device, item(server.url("/a.zip"), "A")), "");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(isTaskIdle(*device));
    EXPECT_EQ(server.requestCount("/a.zip"), 0);
    PauseTask(*device, std::string("c"));
    ASSERT_TRUE(device->taskThread.waitIdle(60s));
    EXPECT_EQ(pageCalls(), progressThen({0}));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"A"});
}

// Closing the program while a set is copied: the task is stopped and cleans up the navigator.
TEST_F(ImportTest, ExitDuringTheCopyLeavesNoHalfInstalledRouteBook) {
    connect(Link::Device);
    server.serve("/a.zip", makePackage(routeBookSet("A", 400000)));
    ASSERT_EQ(importToPDA(*device, item(server.url("/a.zip"), "A")), "");
    for (int i = 0; i < 6000 && navsim().calls("CeWriteFile") == 0; ++i)
        std::this_thread::sleep_for(1ms);
    device.reset();
    EXPECT_TRUE(treeOf(onNavigator()).empty());
    EXPECT_EQ(pageCalls(), progressThen({0}));
}

}  // namespace
