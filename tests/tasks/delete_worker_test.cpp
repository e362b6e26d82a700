#include "tasks/delete_worker.h"

#include <variant>

#include "common/task_status.h"
#include "ops/route_book_list.h"
#include "platform/files.h"
#include "support/route_fixtures.h"
#include "task_harness.h"
#include "tasks/task_runner.h"

namespace {

class DeleteTest : public TaskHarness {
  protected:
    void addABC() {
        for (const char* name : {"A", "B", "C"}) {
            FileTree set = routeBookSet(name);
            set[std::string(name) + ".poi"] = "poi";
            addRouteBook(name, set);
        }
    }
    // The route books whose track file is on the navigator.
    std::vector<std::string> onNavigatorNames() {
        std::vector<std::string> names;
        for (const char* name : {"A", "B", "C"})
            if (platform::fileExists(onNavigator(std::string(name) + ".trk")))
                names.push_back(name);
        return names;
    }
    std::vector<std::string> calls(std::vector<std::variant<TaskStatus, std::string>> seq) {
        std::vector<std::string> out;
        int ordinal = 0;
        for (const auto& s : seq) {
            if (std::holds_alternative<TaskStatus>(s))
                out.push_back(statusCall(std::get<TaskStatus>(s)));
            else
                out.push_back(progressCall(++ordinal, "delete"));
        }
        return out;
    }
};

const std::string P = "progress";
using Names = std::vector<std::string>;

// Positions apply to the list as it is after the removals before them; every row of the
// delete's failure table.
TEST_F(DeleteTest, PositionsAndFailures) {
    struct Case {
        const char* label;
        Link link;
        const char* argument;
        std::function<void(DeleteTest&)> arrange;
        std::vector<std::variant<TaskStatus, std::string>> calls;
        Names listed;
        Names left;
    };
    std::vector<Case> cases = {
        {"2,0 removes C then A",
         Link::Device,
         "2,0",
         nullptr,
         {P, P, TaskStatus::Done},
         {"B"},
         {"B"}},
        {"0,2 finds only two left",
         Link::Device,
         "0,2",
         nullptr,
         {P, P, TaskStatus::UnknownError, TaskStatus::Done},
         {"B", "C"},
         {"B", "C"}},
        {"out of range",
         Link::Device,
         "3",
         nullptr,
         {P, TaskStatus::UnknownError, TaskStatus::Done},
         {"A", "B", "C"},
         {"A", "B", "C"}},
        {"negative",
         Link::Drive,
         ",-1",
         nullptr,
         {P, TaskStatus::UnknownError, TaskStatus::Done},
         {"A", "B", "C"},
         {"A", "B", "C"}},
        {"on a drive", Link::Drive, "1", nullptr, {P, TaskStatus::Done}, {"A", "C"}, {"A", "C"}},
        {"remote removal failed",
         Link::Device,
         "0,1",
         [](DeleteTest& t) { t.navsim().fail("delete", 1); },
         {P, TaskStatus::RemoveFailed, TaskStatus::Done},
         {"A", "B", "C"},
         {"A", "B", "C"}},
        // The track goes last: a set left half-removed is still listed and can be deleted again.
        {"remote removal failed part-way",
         Link::Device,
         "0",
         [](DeleteTest& t) { t.navsim().fail("delete", 3); },
         {P, TaskStatus::RemoveFailed, TaskStatus::Done},
         {"A", "B", "C"},
         {"A", "B", "C"}},
        {"local removal failed",
         Link::Drive,
         "0,1",
         [](DeleteTest& t) {
             platform::deleteFile(t.onNavigator("A.trk"));
             platform::createFolder(t.onNavigator("A.trk"));
         },
         {P, TaskStatus::RemoveFailed, TaskStatus::Done},
         {"A", "B", "C"},
         {"B", "C"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(c.link);
        addABC();
        if (c.arrange) c.arrange(*this);
        run(deleteSelected, c.argument);
        EXPECT_EQ(pageCalls(), calls(c.calls));
        EXPECT_EQ(listedNames(), c.listed);
        EXPECT_EQ(onNavigatorNames(), c.left);
    }
}

TEST_F(DeleteTest, RemovesTheWholeSet) {
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        addABC();
        run(deleteSelected, "0,0");
        FileTree expected = routeBookSet("C");
        expected["C"] = "<dir>";
        expected["C.poi"] = "poi";
        // The drive's removal takes the .poi companion too; over the remote API it stays.
        if (how == Link::Device) expected["A.poi"] = expected["B.poi"] = "poi";
        EXPECT_EQ(treeOf(onNavigator()), expected);
        EXPECT_EQ(listedNames(), Names{"C"});
    }
}

// A listing renames a set to its title; when a move of that rename fails, the set keeps its old
// name whole, and deleting it then removes all of it.
TEST_F(DeleteTest, ARenameThatFailsLeavesTheSetWholeAndDeletable) {
    RouteFixture route;
    RecordFixture book;
    book.title = u"B";
    route.records = {book};
    FileTree set = routeBookSet("A");
    set["A/A.rut"] = routeFileBytes(route);
    struct Case {
        const char* label;
        Link link;
        int failingMove;  // over the remote API
        bool plantSim;    // a stray B.sim that no move may replace
    } cases[] = {
        {"track move", Link::Device, 1, false},
        {"sim move", Link::Device, 2, false},
        {"route move", Link::Device, 3, false},
        {"tps move", Link::Device, 4, false},
        {"folder move", Link::Device, 5, false},
        {"stray sim on the device", Link::Device, 0, true},
        {"stray sim on a drive", Link::Drive, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(c.link);
        addRouteBook("A", set);
        if (c.plantSim) writeFileBytes(onNavigator("B.sim"), "stray");
        if (c.failingMove) navsim().fail("move", c.failingMove);
        connToPDA(*device, "r");
        FileTree expected = set;
        expected["A"] = "<dir>";
        if (c.plantSim) expected["B.sim"] = "stray";
        EXPECT_EQ(treeOf(onNavigator()), expected);
        EXPECT_EQ(listedNames(), Names{"A"});

        run(deleteSelected, "0");
        EXPECT_EQ(pageCalls(), calls({P, TaskStatus::Done}));
        FileTree left;
        if (c.plantSim) left["B.sim"] = "stray";
        EXPECT_EQ(treeOf(onNavigator()), left);
        EXPECT_TRUE(listedNames().empty());
    }
}

// A set whose folder cannot be removed is reported, not counted as deleted.
TEST_F(DeleteTest, AFolderThatStaysIsAFailedDeletion) {
    connect(Link::Device);
    addABC();
    navsim().fail("rmdir", 1);
    run(deleteSelected, "0");
    EXPECT_EQ(pageCalls(), calls({P, TaskStatus::RemoveFailed, TaskStatus::Done}));
    EXPECT_EQ(listedNames(), (Names{"A", "B", "C"}));
}

TEST_F(DeleteTest, StopBetweenPieces) {
    connect(Link::Device);
    addABC();
    seat.setOnPost([this](const TaskEvent& m) {
        if (m.kind == TaskEvent::Kind::Progress && m.ordinal == 1)
            PauseTask(*device, std::string("t"));
    });
    run(deleteSelected, "0,0,0");
    EXPECT_EQ(pageCalls(), calls({P, TaskStatus::Done}));
    EXPECT_EQ(listedNames(), (Names{"B", "C"}));
    EXPECT_EQ(onNavigatorNames(), (Names{"B", "C"}));
}

TEST_F(DeleteTest, MissingArgumentAndBusy) {
    connect(Link::Device);
    addABC();
    EXPECT_EQ(deleteSelected(*device, std::nullopt), "");
    seat.setOnPost([this](const TaskEvent& m) {
        // A second task while the first is paused is refused.
        if (m.kind == TaskEvent::Kind::Progress) {
            PauseTask(*device, std::string("p"));
            EXPECT_EQ(deleteSelected(*device, std::string("1")), "");
            PauseTask(*device, std::string("c"));
        }
    });
    run(deleteSelected, "0");
    EXPECT_EQ(pageCalls(),
              calls({TaskStatus::UnknownError, P, TaskStatus::Busy, TaskStatus::Done}));
    EXPECT_EQ(listedNames(), (Names{"B", "C"}));
}

}  // namespace
