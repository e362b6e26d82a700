#include "tasks/task_runner.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/task_status.h"
#include "session/device_manager.h"
#include "support/eventually.h"
#include "support/recording_seat.h"
#include "tasks/task_context.h"

namespace {

using namespace std::chrono_literals;

// What the test worker saw and did; one task runs at a time, so one record serves.
struct Observed {
    std::atomic<int> steps{0};
    std::atomic<bool> cleanedUp{false};
    std::mutex mutex;
    std::string argument;
    std::string dataRoot;
    std::string uploadPath;
    ConnectionMode mode = NotConnected;
};
Observed* gObserved = nullptr;

// Works in steps until asked to stop, waiting at a checkpoint before each step.
void steppingWorker(TaskContext& context, std::string text) {
    {
        std::lock_guard<std::mutex> lock(gObserved->mutex);
        gObserved->argument = text;
        gObserved->dataRoot = context.dataRoot;
        gObserved->uploadPath = context.uploadPath;
        gObserved->mode = context.mode;
    }
    while (!context.control.checkpoint()) {
        ++gObserved->steps;
        std::this_thread::sleep_for(1ms);
    }
    gObserved->cleanedUp = true;
    context.device.seat.postStatus(TaskStatus::Done);
}

class TaskRunnerTest : public ::testing::Test {
  protected:
    TaskRunnerTest() { gObserved = &observed; }
    ~TaskRunnerTest() override {
        PauseTask(device, std::string("t"));
        device.taskThread.waitIdle(10s);
    }

    void start(const std::string& text = "x") {
        EXPECT_EQ(startTask(device, device, text, steppingWorker), "");
    }
    bool progressing() {
        int before = observed.steps.load();
        return eventually([&] { return observed.steps.load() > before; });
    }
    // Steps stay put once the worker has reached its gate.
    bool halted() {
        int last = -1;
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(20ms);
            int now = observed.steps.load();
            if (now == last) {
                std::this_thread::sleep_for(100ms);
                return observed.steps.load() == now;
            }
            last = now;
        }
        return false;
    }
    void command(const char* letter) { PauseTask(device, std::string(letter)); }

    Observed observed;
    RecordingSeat seat;
    DeviceManager device{seat};
};

TEST_F(TaskRunnerTest, OneTaskAtATime) {
    start();
    EXPECT_FALSE(isTaskIdle(device));
    start();  // refused while running
    command("p");
    start();  // and while paused
    EXPECT_EQ(seat.statusCodes(), (std::vector<TaskStatus>{TaskStatus::Busy, TaskStatus::Busy}));
    command("t");
    ASSERT_TRUE(device.taskThread.waitIdle(10s));
    EXPECT_TRUE(isTaskIdle(device));
    EXPECT_EQ(seat.statusCodes(),
              (std::vector<TaskStatus>{TaskStatus::Busy, TaskStatus::Busy, TaskStatus::Done}));
}

TEST_F(TaskRunnerTest, MissingArgumentPostsCode2AndStartsNothing) {
    EXPECT_EQ(startTask(device, device, std::nullopt, steppingWorker), "");
    EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::UnknownError});
    EXPECT_TRUE(isTaskIdle(device));
}

TEST_F(TaskRunnerTest, PauseCountsLikeASuspendCount) {
    start();
    ASSERT_TRUE(progressing());
    command("p");
    command("p");
    command("c");
    EXPECT_TRUE(halted());
    EXPECT_EQ(device.taskThread.pauseCount(), 1);
    command("c");
    EXPECT_TRUE(progressing());
}

TEST_F(TaskRunnerTest, StopWakesAPausedTaskOnce) {
    start();
    command("p");
    command("p");
    command("t");
    EXPECT_TRUE(halted());
    EXPECT_FALSE(observed.cleanedUp);
    EXPECT_EQ(device.stopRequested.load(), 1);
    command("c");
    ASSERT_TRUE(device.taskThread.waitIdle(10s));
    EXPECT_TRUE(observed.cleanedUp);
    EXPECT_EQ(device.stopRequested.load(), 0);

    // The next task starts normally and is not stopped by the last one's request.
    observed.cleanedUp = false;
    start();
    EXPECT_TRUE(progressing());
    EXPECT_FALSE(observed.cleanedUp);
}

TEST_F(TaskRunnerTest, ControlLettersOutsideATaskOrUnknownDoNothing) {
    command("p");
    command("t");
    EXPECT_EQ(device.stopRequested.load(), 0);
    start();
    EXPECT_EQ(device.taskThread.pauseCount(), 0);
    for (const char* letter : {"x", "P", "", "C", "T"})
        command(letter);
    PauseTask(device, std::nullopt);
    EXPECT_TRUE(progressing());
    EXPECT_EQ(device.stopRequested.load(), 0);
    command("pause");  // only the first letter counts
    EXPECT_TRUE(halted());
}

TEST_F(TaskRunnerTest, WorkerOwnsItsArgumentAndASnapshotOfTheConnection) {
    device.mode = RemovableDrive;
    device.dataRoot = "E:\\userdata\\track\\";
    device.uploadPath = "/up?fname=";
    start("0,3");
    device.mode = NotConnected;
    device.dataRoot.clear();
    device.uploadPath = "/changed";
    ASSERT_TRUE(progressing());
    std::lock_guard<std::mutex> lock(observed.mutex);
    EXPECT_EQ(observed.argument, "0,3");
    EXPECT_EQ(observed.mode, RemovableDrive);
    EXPECT_EQ(observed.dataRoot, "E:\\userdata\\track\\");
    EXPECT_EQ(observed.uploadPath, "/up?fname=");
}

TEST(TaskThreadExit, RunningTaskIsStoppedAndAllowedToCleanUp) {
    Observed observed;
    gObserved = &observed;
    RecordingSeat seat;
    {
        DeviceManager device(seat);
        startTask(device, device, std::string("x"), steppingWorker);
        PauseTask(device, std::string("p"));
        PauseTask(device, std::string("p"));
    }
    EXPECT_TRUE(observed.cleanedUp);
    EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::Done});
}

}  // namespace
