// Every fault kind of the simulator at each of the first six positions, for every operation that
// changes or reads the navigator's files: the operation either succeeds with every file (and
// what it produced) as a run without faults leaves it, or reports a failure with the navigator
// unchanged. A deletion that fails may leave its route book half-removed, but still listed, and
// deletable again.
#include <cctype>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

#include "common/task_status.h"
#include "ops/poi_operations.h"
#include "support/poi_fixtures.h"
#include "task_harness.h"
#include "tasks/archive.h"
#include "tasks/backup.h"
#include "tasks/route_book_set.h"
#include "tasks/task_runner.h"

namespace {

constexpr const char* kKinds[] = {"create", "read",  "write", "delete",
                                  "rmdir",  "mkdir", "move",  "find"};
constexpr int kPositions = 6;

// What an operation left besides the navigator's files, and whether it told of a failure.
struct Outcome {
    bool failed = false;
    FileTree produced;
};

class DeviceFaultTable : public TaskHarness {
  public:
    void arrange() {
        fresh(Link::Device);
        for (const char* name : {"R0", "R1"})
            addRouteBook(name, routeBookSet(name));
        PoiRecordFixture place;
        place.name = u"Home";
        writeTree(simulated.card(),
                  {{"userdata/poi/address.poi",
                    poiStoreBytes(2, 1, {poiRecordBytes(1, place), poiRecordBytes(1, place)})}});
        server.serve("/p.zip", makePackage(routeBookSet("N")));
        server.setUploadReply({"<rbid>9</rbid>"});
    }
    // The navigator's storage; the installed track is stamped with the time of the install, so
    // only its size counts.
    FileTree storage() {
        FileTree tree = treeOf(simulated.card());
        auto stamped = tree.find("userdata/track/N.trk");
        if (stamped != tree.end()) stamped->second = std::to_string(stamped->second.size());
        return tree;
    }
    bool failureTold() {
        for (const std::string& call : pageCalls())
            if (call.rfind("kankan(", 0) == 0 && call != statusCall(TaskStatus::Done)) return true;
        return false;
    }
    FileTree lastUpload(size_t before) {
        auto uploads = server.uploads();
        if (uploads.size() == before) return {};
        TempDir dir;
        writeFileBytes(dir.file("p.zip"), uploads.back().body);
        return unpacked(dir.file("p.zip"));
    }
    static FileTree unpacked(const std::string& zip) {
        TempDir dir;
        ArchiveReader reader;
        if (!reader.open(zip) || !reader.setOutputFolder(dir.file("out")) || !reader.extractAll())
            return {{"", "unreadable"}};
        return treeOf(dir.file("out"));
    }
};

struct Operation {
    const char* name;
    std::function<Outcome(DeviceFaultTable&)> run;
};

// Each operation is a test of its own, so that the slow runs (under wine) go side by side.
const std::vector<Operation>& operations() {
    static const std::vector<Operation> all = {
        {"install",
         [](DeviceFaultTable& t) {
             t.run(importToPDA, "<rb><url>" + t.server.url("/p.zip") + "</url><name>N</name></rb>");
             return Outcome{t.failureTold(), {}};
         }},
        {"export",
         [](DeviceFaultTable& t) {
             size_t before = t.server.uploads().size();
             t.run(exportFromPDA, "0");
             return Outcome{t.failureTold(), t.lastUpload(before)};
         }},
        {"export-gpx",  // the command fetches the set as the export does
         [](DeviceFaultTable& t) {
             TempDir folder;
             std::atomic<int> stop{0};
             PauseGate gate;
             TaskContext context{
                 *t.device, RapiDevice, t.device->dataRoot, {}, TaskControl(stop, gate)};
             bool ok = copyRouteBookFromDevice(context, folder.path(), "R0");
             return Outcome{!ok || t.failureTold(), treeOf(folder.path())};
         }},
        {"place add",
         [](DeviceFaultTable& t) {
             poiToPDA(*t.device, "<p lng=\"11600000\" lat=\"3900000\">Gate</p>");
             return Outcome{t.failureTold(), {}};
         }},
        {"place delete",
         [](DeviceFaultTable& t) {
             deleteSelectedPoi(*t.device, "1");
             return Outcome{t.failureTold(), {}};
         }},
        {"backup",
         [](DeviceFaultTable& t) {
             TempDir folder;
             auto outcome = std::make_shared<BackupOutcome>();
             startBackup(*t.device, *t.device, folder.file("b.zip"), outcome);
             t.device->taskThread.waitIdle(std::chrono::seconds(60));
             // The manifest holds the times of files that each arrangement writes anew.
             FileTree files = DeviceFaultTable::unpacked(folder.file("b.zip"));
             files.erase("manifest.txt");
             return Outcome{!outcome->finished || t.failureTold(), files};
         }},
        {"route book delete",
         [](DeviceFaultTable& t) {
             t.run(deleteSelected, "0");
             return Outcome{t.failureTold(), {}};
         }},
    };
    return all;
}

class EachOperation : public DeviceFaultTable, public ::testing::WithParamInterface<size_t> {};

TEST_P(EachOperation, EveryFaultAtEachOfTheFirstPositions) {
    const Operation& op = operations()[GetParam()];
    std::ostringstream table;
    table << "operation          kind     1..6 (ok: right files; =: failed, unchanged; "
             "~: failed, still listed, deleted again)\n";
    {
        arrange();
        Outcome clean = op.run(*this);
        ASSERT_FALSE(clean.failed) << op.name;
        const FileTree expected = storage();
        for (const char* kind : kKinds) {
            table << op.name << std::string(19 - std::string(op.name).size(), ' ') << kind
                  << std::string(9 - std::string(kind).size(), ' ');
            for (int position = 1; position <= kPositions; ++position) {
                SCOPED_TRACE(std::string(op.name) + ", " + kind + " " + std::to_string(position));
                arrange();
                const FileTree before = storage();
                navsim().fail(kind, position);
                Outcome got = op.run(*this);
                navsim().fail(kind, 0);
                const FileTree after = storage();
                std::string cell = "BAD";
                if (!got.failed && after == expected && got.produced == clean.produced) {
                    cell = "ok";
                } else if (got.failed && after == before) {
                    cell = "=";
                } else if (got.failed && std::string(op.name) == "route book delete" &&
                           platform::fileExists(onNavigator("R0.trk")) &&
                           listedNames().size() == 2) {
                    run(deleteSelected, "0");
                    if (storage() == expected) cell = "~";
                }
                EXPECT_NE(cell, "BAD");
                EXPECT_TRUE(treeOf(inTemp()).empty());
                table << (cell + "    ").substr(0, 4);
            }
            table << "\n";
        }
    }
    std::cout << table.str();
}

INSTANTIATE_TEST_SUITE_P(DeviceFaultTable, EachOperation,
                         ::testing::Range<size_t>(0, operations().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             std::string name = operations()[info.param].name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
