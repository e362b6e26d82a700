#include "tasks/route_book_set.h"

#include "common/task_status.h"
#include "task_harness.h"

namespace {

class RouteBookSetTest : public TaskHarness {
  protected:
    TaskContext context() {
        return TaskContext{*device, device->mode, device->dataRoot, {}, TaskControl(stop, gate)};
    }
    std::atomic<int> stop{0};
    PauseGate gate;
};

const FileTree kOld = [] {
    FileTree set = routeBookSet("A", 50);
    set["A"] = "<dir>";
    set["A/notes.txt"] = "the old set's own file";
    return set;
}();
const FileTree kNew = [] {
    FileTree set = routeBookSet("A", 60);
    set["A"] = "<dir>";
    return set;
}();

// Whichever move or write fails, the navigator holds the old set whole or the new one whole, and
// never anything under the names the replacement works with.
TEST_F(RouteBookSetTest, AReplacementLeavesTheOldSetOrTheNewOneWhole) {
    TempDir local;
    writeTree(local.path(), kNew);
    bool replacedOnce = false, keptOnce = false;
    for (const char* kind : {"move", "write"}) {
        for (int failing = 1; failing <= 12; ++failing) {
            SCOPED_TRACE(std::string(kind) + " " + std::to_string(failing));
            fresh(Link::Device);
            writeTree(onNavigator(), kOld);
            navsim().fail(kind, failing);
            const bool replaced = replaceRouteBook(context(), local.path(), "A", "A");
            EXPECT_EQ(treeOf(onNavigator()), replaced ? kNew : kOld);
            EXPECT_EQ(pageCalls(), replaced ? std::vector<std::string>{}
                                            : std::vector{statusCall(TaskStatus::TransferError)});
            (replaced ? replacedOnce : keptOnce) = true;
        }
    }
    EXPECT_TRUE(replacedOnce && keptOnce);
}

// A run that ended in the middle of a replacement: the next one puts the old set back when the
// new one's track never took its place, and otherwise keeps the new one.
TEST_F(RouteBookSetTest, AReplacementCutOffIsMadeGoodByTheNextRun) {
    const std::string parked = std::string(kParkPrefix) + "ended0~A";
    auto parkedAs = [&](const FileTree& set, std::initializer_list<const char*> parts) {
        FileTree out;
        for (const auto& [path, bytes] : set)
            for (const char* part : parts)
                if (path.starts_with(std::string("A") + part)) out[parked + path.substr(1)] = bytes;
        return out;
    };
    auto merged = [](FileTree a, const FileTree& b) {
        a.insert(b.begin(), b.end());
        return a;
    };
    FileTree oldFolderAndSim = kOld;
    oldFolderAndSim.erase("A.trk");
    FileTree newFolder = kNew;
    newFolder.erase("A.trk");
    struct Case {
        const char* label;
        FileTree planted;
        FileTree left;
    } cases[] = {
        {"after the old track stepped aside", merged(oldFolderAndSim, parkedAs(kOld, {".trk"})),
         kOld},
        {"after the new folder and sim took their places",
         merged(newFolder, parkedAs(kOld, {".trk", ".sim", "/"})), kOld},
        {"after the new track took its place", merged(kNew, parkedAs(kOld, {".trk", ".sim", "/"})),
         kNew},
    };
    for (Link how : {Link::Device, Link::Drive}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(how == Link::Device ? "device " : "drive ") + c.label);
            fresh(how);
            writeTree(onNavigator(), c.planted);
            removeLeftovers(*device, device->mode, device->dataRoot, {});
            EXPECT_EQ(treeOf(onNavigator()), c.left);
        }
    }
}

}  // namespace
