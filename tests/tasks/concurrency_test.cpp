// The window's thread keeps listing and viewing route books while a task runs on the worker, as
// the page may; under ThreadSanitizer these runs also show that the shared state is guarded.

#include <atomic>
#include <thread>

#include "common/task_status.h"
#include "ops/route_book_list.h"
#include "ops/route_book_view.h"
#include "platform/files.h"
#include "task_harness.h"
#include "tasks/delete_worker.h"
#include "tasks/export_worker.h"
#include "tasks/import_worker.h"

namespace {

class ConcurrencyTest : public TaskHarness {
  protected:
    // Lists (rescanning every other time) and views until the task has ended.
    int browseUntilIdle() {
        int rounds = 0;
        while (!device->taskThread.waitIdle(std::chrono::milliseconds(1))) {
            connToPDA(*device, rounds % 2 ? "r" : "x");
            showRoadbook(*device, "0");
            ++rounds;
        }
        return rounds;
    }
    // The task's own codes: viewing an rbid that is not listed (yet) posts a 2 of its own.
    std::vector<TaskStatus> taskCodes() const {
        std::vector<TaskStatus> codes;
        for (TaskStatus c : seat.statusCodes())
            if (c != TaskStatus::UnknownError) codes.push_back(c);
        return codes;
    }
};

TEST_F(ConcurrencyTest, ImportWhileListing) {
    connect(Link::Device);
    std::string items;
    for (const char* name : {"A", "B", "C", "D"}) {
        server.serve(std::string("/") + name + ".zip", makePackage(routeBookSet(name, 20000)));
        items += std::string("<rb><url>") + server.url(std::string("/") + name + ".zip") +
                 "</url><name>" + name + "</name></rb>";
    }
    ASSERT_EQ(importToPDA(*device, items), "");
    EXPECT_GT(browseUntilIdle(), 0);
    EXPECT_EQ(taskCodes(), std::vector<TaskStatus>{TaskStatus::Done});
    for (const char* name : {"A", "B", "C", "D"})
        EXPECT_TRUE(platform::fileExists(onNavigator(std::string(name) + ".trk"))) << name;
    // Both threads reached the navigator through the remote API's own thread.
    EXPECT_EQ(navsim().calls("other thread"), 0);
}

TEST_F(ConcurrencyTest, ExportWhileViewing) {
    connect(Link::Device);
    // Plain tracks: the export fills the route data object to generate their route files.
    for (const char* name : {"A", "B", "C", "D"})
        addRouteBook(name, {{std::string(name) + ".trk", trackBytes(20000)}});
    ASSERT_EQ(exportFromPDA(*device, "0,1,2,3"), "");
    EXPECT_GT(browseUntilIdle(), 0);
    EXPECT_EQ(taskCodes(), std::vector<TaskStatus>{TaskStatus::Done});
    EXPECT_EQ(server.uploads().size(), 4u);
    EXPECT_EQ(navsim().calls("other thread"), 0);
}

TEST_F(ConcurrencyTest, DeleteWhileListing) {
    connect(Link::Drive);
    for (const char* name : {"A", "B", "C", "D", "E", "F"})
        addRouteBook(name, routeBookSet(name, 2000));
    ASSERT_EQ(deleteSelected(*device, "0,0,0"), "");
    browseUntilIdle();
    EXPECT_EQ(taskCodes(), std::vector<TaskStatus>{TaskStatus::Done});
    // Whatever the list looked like meanwhile, three route books went and three stay.
    int left = 0;
    for (const char* name : {"A", "B", "C", "D", "E", "F"})
        left += platform::fileExists(onNavigator(std::string(name) + ".trk"));
    EXPECT_EQ(left, 3);
}

}  // namespace
