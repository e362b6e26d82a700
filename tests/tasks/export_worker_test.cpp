#include "tasks/export_worker.h"

#include <algorithm>
#include <thread>

#include "common/task_status.h"
#include "platform/files.h"
#include "task_harness.h"
#include "tasks/account_binding.h"
#include "tasks/archive.h"
#include "tasks/http_transfer.h"
#include "tasks/task_runner.h"

namespace {

using namespace std::chrono_literals;

const char kUnboundPath[] = "/routebook/vantu/upload?uname=%s&verify=%s&fname=";

class ExportTest : public TaskHarness {
  protected:
    // The entries of an uploaded package in archive order, and its files once unpacked.
    struct Package {
        std::vector<std::string> names;
        FileTree files;
    };
    Package unpack(const std::string& bytes) {
        TempDir dir;
        writeFileBytes(dir.file("p.zip"), bytes);
        Package p;
        ArchiveReader reader;
        EXPECT_TRUE(reader.open(dir.file("p.zip")));
        for (bool more = reader.gotoFirst(); more; more = reader.gotoNext()) {
            ArchiveEntryInfo info;
            reader.currentInfo(info);
            p.names.push_back(info.name);
        }
        EXPECT_TRUE(reader.setOutputFolder(dir.file("out")));
        EXPECT_TRUE(reader.extractAll());
        p.files = treeOf(dir.file("out"));
        return p;
    }
    std::vector<std::string> progressThen(std::vector<TaskStatus> codes, int items = 1) {
        std::vector<std::string> calls;
        for (int i = 1; i <= items; ++i)
            calls.push_back(progressCall(i, "updata"));
        for (TaskStatus c : codes)
            calls.push_back(statusCall(c));
        return calls;
    }
};

TEST_F(ExportTest, UploadsTheSetAsOnePackage) {
    const std::string n = beijing();
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        const FileTree set = routeBookSet(n);
        addRouteBook(n, set);
        size_t before = server.uploads().size();
        run(exportFromPDA, "0");
        EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
        auto uploads = server.uploads();
        ASSERT_EQ(uploads.size(), before + 1);
        EXPECT_EQ(uploads.back().target, std::string(kUnboundPath) + "%B1%B1%BE%A9%2Ezip");
        Package p = unpack(uploads.back().body);
        // The folder's entries come in the order the folder lists them.
        std::sort(p.names.begin() + 2, p.names.end());
        EXPECT_EQ(p.names, (std::vector<std::string>{n + ".trk", n + ".sim", n + "\\" + n + ".rut",
                                                     n + "\\" + n + ".tps"}));
        FileTree expected = set;
        expected[n] = "<dir>";
        EXPECT_EQ(p.files, expected);
        // Nothing changed on the navigator, nothing left behind.
        EXPECT_EQ(treeOf(onNavigator()), expected);
        EXPECT_TRUE(treeOf(inTemp()).empty());
    }
}

TEST_F(ExportTest, ATrackWithoutFolderGetsAGeneratedRouteFile) {
    const std::string n = beijing();
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        addRouteBook(n, {{n + ".trk", trackBytes(10)}});
        run(exportFromPDA, "0");
        EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
        Package p = unpack(server.uploads().back().body);
        EXPECT_EQ(p.names, (std::vector<std::string>{n + ".trk", n + "\\" + n + ".rut"}));
        {
            TempDir dir;
            writeFileBytes(dir.file("r.rut"), p.files[n + "/" + n + ".rut"]);
            RouteBookData route;
            ASSERT_EQ(route.readRouteFile(dir.file("r.rut")), 1);
            ASSERT_EQ(route.records.size(), 2u);
            EXPECT_EQ(route.records[0]->kind, RecordKind::Book);
            EXPECT_EQ(route.records[1]->kind, RecordKind::Line);
        }
        // On a drive the folder and its route file stay with the route book; over the remote
        // API the navigator is not changed.
        EXPECT_EQ(platform::fileExists(onNavigator(n + "/" + n + ".rut")), how == Link::Drive);
        EXPECT_TRUE(treeOf(inTemp()).empty());
    }
}

TEST_F(ExportTest, PositionsAndTheBoundAccount) {
    connect(Link::Device);
    for (const char* name : {"R0", "R1", "R2", "R3", "R4", "R5"})
        addRouteBook(name, routeBookSet(name));
    DeviceManager& d = *device;
    SetUsername(d, seat, std::string("alice"));
    const std::string bound = d.uploadPath;
    run(exportFromPDA, "2,,5");
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}, 2));
    auto uploads = server.uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].target, bound + "R2%2Ezip");
    EXPECT_EQ(uploads[1].target, bound + "R5%2Ezip");
    EXPECT_EQ(uploads[0].header("User-Agent"), "CEHTTP");
}

TEST_F(ExportTest, AccountBoundDuringAnExportDoesNotChangeIt) {
    connect(Link::Device);
    addRouteBook("R0", routeBookSet("R0"));
    seat.setOnPost([this](const TaskEvent& m) {
        if (m.kind == TaskEvent::Kind::Progress) SetUsername(*device, seat, std::string("bob"));
    });
    run(exportFromPDA, "0");
    ASSERT_EQ(server.uploads().size(), 1u);
    EXPECT_EQ(server.uploads()[0].target, std::string(kUnboundPath) + "R0%2Ezip");
}

// Every row of the export's failure table.
TEST_F(ExportTest, FailureTable) {
    struct Case {
        const char* label;
        Link link;
        const char* argument;
        std::function<void(ExportTest&)> arrange;
        std::vector<std::string> calls;
        size_t uploads;
    };
    const auto p = [this](std::vector<TaskStatus> codes, int items = 1) {
        return progressThen(codes, items);
    };
#ifdef _WIN32
    // Windows answers a folder opened as a file with "access denied".
    const platform::OsCause folderInTheWay = platform::OsCause::AccessDenied;
#else
    const platform::OsCause folderInTheWay = platform::OsCause::Other;  // EISDIR
#endif
    std::vector<Case> cases = {
        {"position out of range", Link::Device, "3", nullptr,
         p({TaskStatus::UnknownError, TaskStatus::Done}), 0},
        {"negative position", Link::Device, "-1", nullptr,
         p({TaskStatus::UnknownError, TaskStatus::Done}), 0},
        {"not a number reads as 0", Link::Device, "x", nullptr, p({TaskStatus::Done}), 1},
        {"copy from the navigator failed", Link::Device, "0",
         [](ExportTest& t) { t.navsim().fail("create", 1); }, p({TaskStatus::TransferError}), 0},
        // The system's cause (a folder at the package's name) goes with the status.
        {"package cannot be read",
         Link::Drive,
         "0",
         [](ExportTest& t) { platform::createFolder(t.onNavigator("R0.zip")); },
         {progressCall(1, "updata"), statusCall(TaskStatus::UnknownError, folderInTheWay)},
         0},
        {"package over 20 MB", Link::Device, "0",
         [](ExportTest& t) {
             std::string noise(kMaxPackageBytes + 1000, '\0');
             uint32_t x = 1;
             for (char& c : noise) {
                 x = x * 1664525u + 1013904223u;
                 c = static_cast<char>(x >> 24);
             }
             writeFileBytes(t.onNavigator("R0.trk"), noise);
         },
         p({TaskStatus::UploadTooLarge}), 0},
        {"upload not confirmed", Link::Device, "0",
         [](ExportTest& t) { t.server.setUploadReply({"<error/>"}); },
         p({TaskStatus::UploadFailed}), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(c.link);
        server.setUploadReply({"<rbid>9</rbid>"});
        for (const char* name : {"R0", "R1", "R2"})
            addRouteBook(name, routeBookSet(name));
        if (c.arrange) c.arrange(*this);
        size_t before = server.uploads().size();
        run(exportFromPDA, c.argument);
        EXPECT_EQ(pageCalls(), c.calls);
        EXPECT_EQ(server.uploads().size() - before, c.uploads);
        EXPECT_TRUE(treeOf(inTemp()).empty());
        EXPECT_FALSE(platform::fileExists(onNavigator("R0.zip")));
    }
}

TEST_F(ExportTest, StopWhileWaitingForTheServer) {
    connect(Link::Device);
    addRouteBook("R0", routeBookSet("R0"));
    addRouteBook("R1", routeBookSet("R1"));
    // A reply that takes its time; the page stops the task meanwhile.
    server.setUploadReply({"<res", "ult>", "<rbid>1</rbid></result>"});
    seat.setOnPost([this](const TaskEvent& m) {
        if (m.kind == TaskEvent::Kind::Progress) {
            std::thread([this] {
                std::this_thread::sleep_for(50ms);
                PauseTask(*device, std::string("t"));
            }).detach();
        }
    });
    run(exportFromPDA, "0,1");
    EXPECT_EQ(pageCalls(), progressThen({TaskStatus::Done}));
    EXPECT_TRUE(treeOf(inTemp()).empty());
}

}  // namespace
