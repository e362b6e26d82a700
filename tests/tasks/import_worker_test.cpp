#include "tasks/import_worker.h"

#include <filesystem>
#include <thread>

#include "common/task_status.h"
#include "device/device_connection.h"
#include "ops/route_book_list.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "session/device_manager.h"
#include "support/native_path.h"
#include "support/program_stub.h"
#include "support/zip_fixture.h"
#include "task_harness.h"
#include "tasks/http_transfer.h"
#include "tasks/route_book_set.h"
#include "tasks/task_runner.h"

namespace {

using namespace std::chrono_literals;

std::string item(const std::string& url, const std::string& name) {
    return "<rb><url>" + url + "</url><name>" + name + "</name></rb>";
}

// A zip package holding exactly these files, stored, names as given.
std::string zipOf(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<ZipEntry> files;
    for (const auto& [name, bytes] : entries)
        files.push_back(ZipEntry(name, bytes));
    return zipBytes(files);
}

// Stored data added without a file, as an archiving library writes it.
ZipEntry written(const std::string& name, const std::string& bytes,
                 ZipDamage damage = ZipDamage::None) {
    return ZipEntry(name, bytes).attributes(kUnixWrittenData).damaged(damage);
}

class ImportTest : public TaskHarness {
  protected:
    // Serves the set of route book `inner` at /a.zip and imports it as `name`.
    void importAs(const std::string& name, const std::string& inner = "X",
                  PackageMaker maker = PackageMaker::Own) {
        server.serve("/a.zip", makePackage(routeBookSet(inner), maker));
        run(importToPDA, item(server.url("/a.zip"), name));
    }
    std::vector<std::string> progressThen(std::vector<TaskStatus> codes, int items = 1) {
        std::vector<std::string> calls;
        for (int i = 1; i <= items; ++i)
            calls.push_back(progressCall(i, "down"));
        for (TaskStatus c : codes)
            calls.push_back(statusCall(c));
        return calls;
    }
};

// The second name ends in a character whose second byte has the value of '\\'.
TEST_F(ImportTest, InstallsThePackageUnderThePageName) {
    const FileTree package = routeBookSet("X");
    for (const std::string& n : {beijing(), platform::utf8ToAnsi("北乗")}) {
        for (Link how : {Link::Device, Link::Drive}) {
            for (PackageMaker maker : availablePackageMakers()) {
                SCOPED_TRACE(testing::Message()
                             << (how == Link::Device ? "device " : "drive ")
                             << static_cast<int>(maker) << " " << platform::ansiToUtf8(n));
                fresh(how);

                importAs(n, "X", maker);
                EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
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
}

// A stopped import may leave an unpacked set behind; the next import of that name installs
// what it downloads, not the leftovers.
TEST_F(ImportTest, LeftoversInTheTemporaryFolderAreNotInstalled) {
    connect(Link::Device);
    platform::createFolder(inTemp("A.unpacked"));
    platform::createFolder(inTemp("A.unpacked/A"));
    writeFileBytes(inTemp("A.unpacked/A.trk"), "old track");
    writeFileBytes(inTemp("A.unpacked/A/A.rut"), "old route");
    writeFileBytes(inTemp("A.unpacked/A/stale.dat"), "stale");
    importAs("A", "X");
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
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
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}, 2));
    EXPECT_EQ(server.requestCount("/a.zip"), 0);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"A", "B"}));
}

// A set on the navigator is never downloaded over, installed over or cleaned away, also when
// the list has not been read yet and when the name differs from the set's only in letter case
// (the navigator's storage ignores it, for the code page's letters as for ASCII).
TEST_F(ImportTest, AnImportNeverTouchesASetItDidNotCreate) {
    struct Case {
        const char* present;  // UTF-8
        const char* asked;
    } cases[] = {
        {"abc", "abc"}, {"abc", "ABC"}, {"ｗａｙ", "ＷＡＹ"},
        {"αβ", "ΑΒ"},   {"дом", "ДОМ"}, {"ⅱ路", "Ⅱ路"},
    };
    for (Link how : {Link::Device, Link::Drive}) {
        for (const Case& c : cases) {
            const std::string present = platform::utf8ToAnsi(c.present);
            const std::string asked = platform::utf8ToAnsi(c.asked);
            SCOPED_TRACE(std::string(how == Link::Device ? "device " : "drive ") + c.asked);
            fresh(how);
            FileTree mine = routeBookSet(present);
            for (auto& [path, bytes] : mine)
                bytes = "the user's " + bytes;
            for (const auto& [path, bytes] : mine) {
                size_t slash = path.find('/');
                if (slash != std::string::npos)
                    platform::createFolder(onNavigator(path.substr(0, slash)));
                writeFileBytes(onNavigator(path), bytes);
            }
            mine[present] = "<dir>";
            server.serve("/a.zip", makePackage(routeBookSet("X")));
            const int requests = server.requestCount("/a.zip");
            run(importToPDA, item(server.url("/a.zip"), asked));
            EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
            EXPECT_EQ(server.requestCount("/a.zip"), requests);
            EXPECT_EQ(treeOf(onNavigator()), mine);
        }
    }
}

// An installation that fails takes off what it wrote and nothing else: files that lay in the
// set's folder before stay.
TEST_F(ImportTest, AFailedInstallRemovesExactlyWhatItWrote) {
    struct Case {
        const char* label;
        Link link;
        std::function<void(ImportTest&)> arrange;
        std::vector<TaskStatus> codes;
    } cases[] = {
        {"a write fails over the remote API",
         Link::Device,
         [](ImportTest& t) { t.navsim().fail("write", 3); },
         {TaskStatus::TransferError}},
        {"a local copy fails",
         Link::Drive,
         [](ImportTest& t) { platform::createFolder(t.onNavigator("A/A.tps")); },
         {TaskStatus::TransferError}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(c.link);
        platform::createFolder(onNavigator("A"));
        writeFileBytes(onNavigator("A/notes.txt"), "the user's notes");
        c.arrange(*this);
        importAs("A");
        EXPECT_EQ(pageCalls(), progressThen(c.codes));
        FileTree left = treeOf(onNavigator());
        EXPECT_EQ(left["A/notes.txt"], "the user's notes");
        left.erase("A/A.tps");  // the obstacle of the local case
        EXPECT_EQ(left, (FileTree{{"A", "<dir>"}, {"A/notes.txt", "the user's notes"}}));
        EXPECT_TRUE(treeOf(inTemp()).empty());
        EXPECT_TRUE(listedNames().empty());
    }
}

// A package that is refused or fails to unpack leaves nothing in the temporary folder, and of a
// package that installs only the set's own entries reach the navigator.
TEST_F(ImportTest, PackagesLeaveNothingBehindAndInstallOnlyTheirSet) {
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, std::string>> entries;
        std::vector<TaskStatus> codes;
        FileTree installed;
    } cases[] = {
        {"two tracks",
         {{"X.trk", trackBytes(5)}, {"X/X.rut", "r"}, {"Y.trk", trackBytes(6)}},
         {TaskStatus::UnpackFailed},
         {}},
        {"no track", {{"X/X.rut", "r"}, {"readme.txt", "hello"}}, {TaskStatus::UnpackFailed}, {}},
        {"an entry that climbs out after others",
         {{"X.trk", trackBytes(5)}, {"X/X.rut", "r"}, {"other.dat", "o"}, {"../up.dat", "u"}},
         {TaskStatus::UnpackFailed},
         {}},
        {"entries beside the set",
         {{"X.trk", trackBytes(5)},
          {"X.sim", "s"},
          {"X/X.rut", "r"},
          {"X/deeper/y.dat", "y"},
          {"readme.txt", "hello"},
          {"other/z.dat", "z"},
          {"X.poi", "p"}},
         {TaskStatus::Done},
         {{"A", "<dir>"}, {"A.sim", "s"}, {"A/A.rut", "r"}}},
    };
    for (Link how : {Link::Device, Link::Drive}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(how == Link::Device ? "device " : "drive ") + c.label);
            fresh(how);
            server.serve("/a.zip", zipOf(c.entries));
            run(importToPDA, item(server.url("/a.zip"), "A"));
            EXPECT_EQ(pageCalls(), progressThen(c.codes));
            FileTree got = treeOf(onNavigator());
            got.erase("A.trk");  // stamped on the way
            EXPECT_EQ(got, c.installed);
            EXPECT_TRUE(treeOf(inTemp()).empty());
            EXPECT_FALSE(platform::fileExists(programTemp.file("../up.dat")));
        }
    }
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
        {"", {statusCall(TaskStatus::Done)}},
        {"   ", {statusCall(TaskStatus::Done)}},
        {"<!-- nothing -->", {statusCall(TaskStatus::Done)}},
        {"<rb><url>http://x/a.zip</url><name>A</name>",
         {statusCall(TaskStatus::UnknownError)}},  // unclosed
        {"<rb><url>a</url></name></rb>", {statusCall(TaskStatus::UnknownError)}},
        // A top-level element that is not an item still counts, with nothing to fetch.
        {"<other/>", {progressCall(1, "down"), statusCall(TaskStatus::UnknownError)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        seat.clear();
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
        seat.clear();
        run(importToPDA, item(server.url("/a.zip"), name));
        EXPECT_EQ(pageCalls(), progressThen({TaskStatus::UnknownError}));
    }
    EXPECT_EQ(server.requestCount("/a.zip"), 0);
    EXPECT_TRUE(treeOf(onNavigator()).empty());
    EXPECT_TRUE(treeOf(inTemp()).empty());
    // A double-byte name whose second byte is that of "\\" (81 5C in GBK) is a plain name.
    std::string name = platform::utf8ToAnsi("乗");
    ASSERT_EQ(name, "\x81\x5C");
    seat.clear();
    run(importToPDA, item(server.url("/a.zip"), name));
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
    EXPECT_TRUE(platform::fileExists(onNavigator(name + ".trk")));
    // The set goes in under its installation's longer name first: a name too long for that is
    // refused before anything is fetched, not failed half way; the longest that fits goes in
    // where the PC's own paths hold it.
    const size_t longest =
        (kMaxSearchPath - device->dataRoot.size() - installationName("").size() - 5) / 2;
    for (size_t length : {longest + 1, longest}) {
        seat.clear();
        run(importToPDA, item(server.url("/a.zip"), std::string(length, 'x')));
    }
#ifdef _WIN32  // where the PC's own paths (the set unpacked in the private folder) are shorter
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::UnknownError}));
    EXPECT_EQ(server.requestCount("/a.zip"), 1);
#else
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
    EXPECT_EQ(server.requestCount("/a.zip"), 2);
#endif
    EXPECT_TRUE(treeOf(inTemp()).empty());
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
        std::vector<TaskStatus> codes;
    } cases[] = {
        {"download failed", "", 404, nullptr, {TaskStatus::DownloadFailed}},
        {"download over 20 MB", oversize, 200, nullptr, {TaskStatus::DownloadTooLarge}},
        {"not a package", "<html>error page</html>", 200, nullptr, {TaskStatus::UnpackFailed}},
        {"navigator store too small",
         good,
         200,
         [](Navsim& sim) { sim.control("store", "1000000 100"); },
         {TaskStatus::NoSpace}},
        {"copy to the navigator failed",
         good,
         200,
         [](Navsim& sim) { sim.fail("write", 3); },
         {TaskStatus::TransferError}},
        {"copy and removal failed",
         good,
         200,
         [](Navsim& sim) {
             sim.fail("write", 3);
             sim.fail("delete", 1);
         },
         {TaskStatus::TransferError, TaskStatus::RemoveFailed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(Link::Device);
        if (c.arrange) c.arrange(navsim());
        server.serve("/a.zip", c.body, c.status);
        run(importToPDA, item(server.url("/a.zip"), "A"));
        EXPECT_EQ(pageCalls(), progressThen(c.codes));
        if (c.codes !=
            std::vector<TaskStatus>{TaskStatus::TransferError, TaskStatus::RemoveFailed}) {
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
        EXPECT_EQ(pageCalls(),
                  progressThen({free == 5 * total ? TaskStatus::Done : TaskStatus::NoSpace}));
    }
}

TEST_F(ImportTest, PackagesThatClimbOutOfTheTemporaryFolderAreRefused) {
    connect(Link::Drive);
    server.serve("/a.zip",
                 zipBytes({written("X.trk", "track"), written("../escaped.trk", "evil")}));
    run(importToPDA, item(server.url("/a.zip"), "A"));
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::UnpackFailed}));
    EXPECT_FALSE(platform::fileExists(inTemp("../escaped.trk")));
    EXPECT_TRUE(treeOf(onNavigator()).empty());
}

TEST_F(ImportTest, TooLittleSpaceOnThePc) {
    connect(Link::Drive);
    // Entries that claim 4 GB each: five times their sum is more than any test machine has.
    std::vector<ZipEntry> big{written("X.trk", "track", ZipDamage::HugeClaimedSize)};
    for (int i = 0; i < 100; ++i)
        big.push_back(written("X/" + std::to_string(i), "x", ZipDamage::HugeClaimedSize));
    server.serve("/a.zip", zipBytes(big));
    run(importToPDA, item(server.url("/a.zip"), "A"));
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::NoSpace}));
    EXPECT_FALSE(platform::fileExists(inTemp("A.zip")));
    EXPECT_FALSE(platform::fileExists(inTemp("X.trk")));
}

TEST_F(ImportTest, LocalCopyFailure) {
    connect(Link::Drive);
    // A folder where the track file should go: the copy cannot create it.
    platform::createFolder(onNavigator("A.trk"));
    importAs("A");
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::TransferError}));
    EXPECT_TRUE(listedNames().empty());
    EXPECT_TRUE(treeOf(inTemp()).empty());
}

TEST_F(ImportTest, EarlierItemsStayAfterALaterFailure) {
    connect(Link::Device);
    server.serve("/a.zip", makePackage(routeBookSet("A")));
    run(importToPDA, item(server.url("/a.zip"), "A") + item(server.url("/none.zip"), "B") +
                         item(server.url("/a.zip"), "C"));
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::DownloadFailed}, 2));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"A"});
    EXPECT_TRUE(platform::fileExists(onNavigator("A.trk")));
}

TEST_F(ImportTest, StopBeforeAnItemEndsWithCode0) {
    connect(Link::Device);
    server.serve("/a.zip", makePackage(routeBookSet("A")));
    // The page stops the task as soon as it hears of the second item.
    seat.setOnPost([this](const TaskEvent& m) {
        if (m.kind == TaskEvent::Kind::Progress && m.ordinal == 2)
            PauseTask(*device, std::string("t"));
    });
    run(importToPDA, item(server.url("/a.zip"), "A") + item(server.url("/a.zip"), "B"));
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}, 2));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"A"});
    EXPECT_EQ(server.requestCount("/a.zip"), 1);
}

TEST_F(ImportTest, StopDuringTheDownloadLeavesNothing) {
    connect(Link::Device);
    LoopbackServer::Route slow;
    slow.behaviour = LoopbackServer::Behaviour::SlowBody;
    slow.interval = 5ms;
    server.setRoute("/slow.zip", slow);
    seat.setOnPost([this](const TaskEvent& m) {
        if (m.kind == TaskEvent::Kind::Progress) {
            std::thread([this] {
                std::this_thread::sleep_for(200ms);
                PauseTask(*device, std::string("t"));
            }).detach();
        }
    });
    run(importToPDA, item(server.url("/slow.zip"), "A"));
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
    EXPECT_TRUE(treeOf(inTemp()).empty());
    EXPECT_TRUE(treeOf(onNavigator()).empty());
}

// A stop while the set is being copied takes the partial set off the navigator again.
TEST_F(ImportTest, StopDuringTheCopyRemovesThePartialSet) {
    connect(Link::Device);
    FileTree set = routeBookSet("A", 400000);  // a track of some 4 MB: 2000 writes
    set["A/more.dat"] = "more";
    server.serve("/a.zip", makePackage(set));
    // Writes slow enough that the stop always comes before the copy's end, on a busy machine too.
    navsim().control("write-delay", "1000");
    ASSERT_EQ(importToPDA(*device, item(server.url("/a.zip"), "A")), "");
    for (int i = 0; i < 6000 && navsim().calls("CeWriteFile") == 0; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(navsim().calls("CeWriteFile"), 0);
    PauseTask(*device, std::string("t"));
    ASSERT_TRUE(device->taskThread.waitIdle(60s));
    navsim().control("write-delay", "0");
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
    EXPECT_TRUE(treeOf(onNavigator()).empty());
    EXPECT_TRUE(treeOf(inTemp()).empty());
    EXPECT_TRUE(listedNames().empty());
}

// A run killed during an installation leaves the set under the installation's own name: the
// list never shows it, and the first connection check of the next run takes it away, and only
// it. The set another instance is installing at that moment stays: its run (here this one)
// holds its private folder.
TEST_F(ImportTest, AnInstallCutOffIsNeverListedAndTheNextRunTakesItAway) {
    const std::string staged = std::string(kInstallPrefix) + "ended0~A";
    const std::string going = installationName("C");
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        writeTree(onNavigator(), {{".other.trk", "x"},
                                  {"~viB.trk", "y"},
                                  {going + ".trk", "z"},
                                  {going + "/C.rut", "w"}});
        const FileTree others = treeOf(onNavigator());
        writeTree(onNavigator(), {{staged + ".trk", trackBytes(5)}, {staged + "/A.rut", "half"}});
        connToPDA(*device, "r");
        EXPECT_TRUE(listedNames() == std::vector<std::string>{"~viB"});
        device->sweptRoot.clear();
        if (how == Link::Device)
            ASSERT_EQ(checkConnection(*device), 1);
        else  // the test's drive is not one the connection search looks at
            removeLeftovers(*device, RemovableDrive, device->dataRoot, {});
        EXPECT_EQ(treeOf(onNavigator()), others);
    }
}

TEST_F(ImportTest, PausedImportWaitsAndContinues) {
    connect(Link::Drive);
    server.serve("/a.zip", makePackage(routeBookSet("A")));
    seat.setOnPost([this](const TaskEvent& m) {
        if (m.kind == TaskEvent::Kind::Progress) PauseTask(*device, std::string("p"));
    });
    ASSERT_EQ(importToPDA(*device, item(server.url("/a.zip"), "A")), "");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(isTaskIdle(*device));
    EXPECT_EQ(server.requestCount("/a.zip"), 0);
    PauseTask(*device, std::string("c"));
    ASSERT_TRUE(device->taskThread.waitIdle(60s));
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
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
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
}

}  // namespace

namespace {

struct Entry {
    std::string name;
    bool folder;
    std::string content;
};

// A package with exactly these entries, folder attributes included, as another tool may write.
std::string packageOf(const std::vector<Entry>& entries) {
    std::vector<ZipEntry> zipped;
    for (const Entry& e : entries)
        zipped.push_back(ZipEntry(e.name, e.content)
                             .deflated()
                             .attributes(e.folder ? kDosFolder : kDosArchive)
                             .madeOn(kMadeOnDos));
    return zipBytes(zipped);
}

class UnpackTest : public TaskHarness {};

// The set is renamed from its track entry's name. A folder entry is never unpacked, so its
// name was never checked, and it made the import move a route book set from the folder above
// the temporary folder into it, install it and delete it.
TEST_F(UnpackTest, TrackNamesThatLeaveTheTemporaryFolderTakeNothingFromOutside) {
    // Beside the program's temporary folder, under a name no other run uses.
    const std::string victim = "vantu-victim-" + std::to_string(currentProcessId());
    const FileTree set = routeBookSet(victim);
    for (const char* climb : {"../", "..\\", "sub/../../"}) {
        SCOPED_TRACE(climb);
        fresh(Link::Drive);
        for (const auto& [path, bytes] : set) {
            if (path.find('/') != std::string::npos) platform::createFolder(inTemp("../" + victim));
            writeFileBytes(inTemp("../" + path), bytes);
        }
        server.serve("/a.zip", packageOf({{"X.trk", false, trackBytes(5)},
                                          {climb + victim + ".trk", true, ""}}));
        run(importToPDA, "<rb><url>" + server.url("/a.zip") + "</url><name>A</name></rb>");

        // A folder entry is no track: the package's one track is installed under its name.
        EXPECT_EQ(pageCalls(), (std::vector<std::string>{progressCall(1, "down"),
                                                         statusCall(TaskStatus::Done)}));
        for (const auto& [path, bytes] : set)
            EXPECT_EQ(readFileBytes(inTemp("../" + path)), bytes) << path;
        const FileTree installed = treeOf(onNavigator());
        EXPECT_EQ(installed.count("A.trk"), 1u);
        EXPECT_EQ(installed.count(victim + ".trk"), 0u);
        EXPECT_TRUE(treeOf(inTemp()).empty());
        std::filesystem::remove_all(nativePath(inTemp("../" + victim)));
        for (const char* extension : {".trk", ".sim"})
            platform::deleteFile(inTemp("../" + victim + extension));
    }
}

// Two entries for one file would let the last one win without a word; a package far larger
// than any route book would hold the navigator and the PC's folder without bound.
TEST_F(UnpackTest, DuplicateEntriesAndTooManyEntriesAreRefused) {
    std::vector<Entry> tooMany = {{"R.trk", false, "x"}};
    for (size_t i = 0; i < kMaxPackageEntries; ++i)
        tooMany.push_back({"R/" + std::to_string(i), false, "x"});
    const struct {
        const char* label;
        std::vector<Entry> entries;
    } cases[] = {
        {"both separators",
         {{"R.trk", false, "t"}, {"R/R.rut", false, "1"}, {"R\\R.rut", false, "2"}}},
        {"letter case", {{"R.trk", false, "t"}, {"R/R.rut", false, "1"}, {"r/r.RUT", false, "2"}}},
        {"too many entries", tooMany},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(Link::Device);
        server.serve("/a.zip", packageOf(c.entries));
        run(importToPDA, "<rb><url>" + server.url("/a.zip") + "</url><name>A</name></rb>");
        EXPECT_EQ(pageCalls(), (std::vector<std::string>{progressCall(1, "down"),
                                                         statusCall(TaskStatus::UnpackFailed)}));
        EXPECT_TRUE(treeOf(onNavigator()).empty());
        EXPECT_TRUE(treeOf(inTemp()).empty());
    }
}

}  // namespace
