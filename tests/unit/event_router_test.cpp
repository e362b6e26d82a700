#include <gtest/gtest.h>

#include <set>

#include "app/event_router.h"
#include "common/task_status.h"
#include "platform/clock.h"
#include "platform/codepage.h"

namespace {

class FixedClock : public platform::Clock {
  public:
    uint32_t tickCount() const override { return tick; }
    uint32_t tick = 0;
};

// Records what the router does to the window, one line per action.
class RecordingHost : public RouterHost {
  public:
    bool hasDocument() const override { return document; }
    void callPage(const PageCall& call) override {
        std::string line = call.function + "(";
        for (size_t i = 0; i < call.args.size(); ++i)
            line += (i ? "," : "") + platform::ansiToUtf8(call.args[i]);
        log.push_back(line + ")");
    }
    void startTimer(int id, unsigned ms) override {
        running.insert(id);
        log.push_back("start " + std::to_string(id) + " " + std::to_string(ms));
    }
    void stopTimer(int id) override {
        running.erase(id);
        log.push_back("stop " + std::to_string(id));
    }
    bool isConnected() override { return connected; }
    bool checkConnection() override {
        log.push_back("check");
        connected = deviceThere;
        return deviceThere;
    }
    void restartDeviceLink() override { log.push_back("restart"); }

    std::vector<std::string> take() { return std::exchange(log, {}); }

    bool document = true;
    bool connected = false;
    bool deviceThere = false;
    std::vector<std::string> log;
    std::set<int> running;
};

class EventRouterTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setClock(&clock_); }
    void TearDown() override { platform::setClock(nullptr); }

    FixedClock clock_;
    RecordingHost host_;
    EventRouter router_{host_};
};

using Log = std::vector<std::string>;

TEST_F(EventRouterTest, DeviceChangesWithinFiveSecondsOfTheLastHandledOneArePassedOn) {
    host_.connected = true;
    struct Step {
        uint32_t tick;
        bool handled;
    };
    // 0 s, 2 s, 6 s; exactly 5 s is still too close; the tick count wraps around.
    const Step steps[] = {{100000, true},      {102000, false},   {106000, true},
                          {111000, false},     {111001, true},    {0xFFFFF000u, true},
                          {0x00000388, false}, {0x00000389, true}};
    for (const Step& s : steps) {
        clock_.tick = s.tick;
        EXPECT_EQ(router_.deviceChanged(), s.handled) << s.tick;
        EXPECT_EQ(host_.take(), s.handled ? Log{"PDALink()"} : Log{}) << s.tick;
    }
}

TEST_F(EventRouterTest, TheFirstFiveSecondsOfTheTickCountPassDeviceChangesOn) {
    host_.connected = true;
    clock_.tick = 4000;
    EXPECT_FALSE(router_.deviceChanged());
    clock_.tick = 5001;
    EXPECT_TRUE(router_.deviceChanged());
}

TEST_F(EventRouterTest, DeviceChangeWithoutADocumentIsPassedOnAndNotCounted) {
    host_.connected = true;
    host_.document = false;
    clock_.tick = 100000;
    EXPECT_FALSE(router_.deviceChanged());
    host_.document = true;
    clock_.tick = 101000;
    EXPECT_TRUE(router_.deviceChanged());
    EXPECT_EQ(host_.take(), Log{"PDALink()"});
}

TEST_F(EventRouterTest, DeviceNotificationsFollowTheConnectionTheTwoTimersAndTheLink) {
    struct Case {
        const char* name;
        bool cached;     // isConnected() at the change
        bool atChange;   // a device is there for the check at the change
        bool linkUp;     // the remote link restarted at the change comes up before the 3 s tick
        bool atRecheck;  // a device is there after the change
        Log expected;
    } cases[] = {
        // A cached connection calls at once, even if the device has just gone.
        {"cached", true, false, false, false, {"PDALink()"}},
        {"found at once", false, true, false, false, {"check", "PDALink()"}},
        {"found at recheck",
         false,
         false,
         false,
         true,
         {"check", "start 1 3000", "restart", "check", "PDALink()", "stop 1"}},
        {"never found",
         false,
         false,
         false,
         false,
         {"check", "start 1 3000", "restart", "check", "start 2 10000", "stop 1", "PDALink()",
          "stop 2"}},
        {"found when the link comes up",
         false,
         false,
         true,
         true,
         {"check", "start 1 3000", "restart", "check", "PDALink()", "stop 1", "stop 2"}},
        {"the link comes up without a navigator",
         false,
         false,
         true,
         false,
         {"check", "start 1 3000", "restart", "check", "check", "start 2 10000", "stop 1",
          "PDALink()", "stop 2"}},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        EventRouter router(host);
        clock_.tick = 200000;
        host.connected = c.cached;
        host.deviceThere = c.atChange;
        EXPECT_TRUE(router.deviceChanged());
        host.deviceThere = c.atRecheck;
        if (c.linkUp) {
            EXPECT_TRUE(router.taskMessage(WM_DEVICE_LINK, 0, 0));
        }
        // Tick the running timers in the order they fire: the recheck, then the late one.
        for (int id : {TIMER_DEVICE_RECHECK, TIMER_DEVICE_LATE})
            if (host.running.count(id)) {
                EXPECT_TRUE(router.timer(id));
            }
        EXPECT_EQ(host.log, c.expected) << c.name;
        EXPECT_TRUE(host.running.empty()) << c.name;
    }
}

TEST_F(EventRouterTest, DeviceTimersWithoutADocumentKeepRunning) {
    host_.document = false;
    EXPECT_FALSE(router_.timer(TIMER_DEVICE_RECHECK));
    EXPECT_FALSE(router_.timer(TIMER_DEVICE_LATE));
    EXPECT_FALSE(router_.timer(TIMER_FLASH_SCAN));
    EXPECT_EQ(host_.take(), Log{});
    host_.document = true;
    EXPECT_FALSE(router_.timer(TIMER_FLASH_SCAN));
    EXPECT_TRUE(router_.timer(TIMER_DEVICE_LATE));
    EXPECT_EQ(host_.take(), (Log{"PDALink()", "stop 2"}));
}

TEST_F(EventRouterTest, PostedNotificationsAreHandledOnlyWithADocument) {
    struct Case {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
        Log expected;
    } cases[] = {
        {WM_TASK_STATUS, 0, 0, {"kankan( )"}},
        {WM_TASK_STATUS, 0, 6, {"kankan()"}},
        {WM_TASK_STATUS, 0, 9, {"kankan(数据传输错误。)"}},
        {WM_TASK_STATUS, 0, 13, {"kankan()"}},
        {WM_TASK_PROGRESS, 1, 3, {"currentLushu(3,delete)"}},
        {WM_TASK_PROGRESS, 2, 12, {"currentLushu(12,updata)"}},
        {WM_TASK_PROGRESS, 0, -1, {"currentLushu(-1,down)"}},
        {WM_TASK_STATUS + 5, 0, 0, {}},
        {WM_DEVICE_LINK, 0, 0, {"check"}},
    };
    for (const Case& c : cases) {
        host_.document = true;
        EXPECT_EQ(router_.taskMessage(c.message, c.wParam, c.lParam), !c.expected.empty());
        EXPECT_EQ(host_.take(), c.expected) << c.message << " " << c.lParam;
        host_.document = false;
        EXPECT_FALSE(router_.taskMessage(c.message, c.wParam, c.lParam));
        EXPECT_EQ(host_.take(), Log{});
    }
}

TEST_F(EventRouterTest, RightClickPassesClientCoordinatesAsUnsigned16BitNumbers) {
    struct Case {
        double x, y;
        std::string expected;
    } cases[] = {
        {120, 45, "onRButtonDown(120,45)"},     {120.9, 45.5, "onRButtonDown(120,45)"},
        {0, 65535, "onRButtonDown(0,65535)"},   {65536 + 7, 3, "onRButtonDown(7,3)"},
        {-1, -2, "onRButtonDown(65535,65534)"},
    };
    for (const Case& c : cases) {
        router_.rightButtonDown(packClientPoint(c.x, c.y));
        EXPECT_EQ(host_.take(), Log{c.expected}) << c.x << "," << c.y;
    }
    host_.document = false;
    router_.rightButtonDown(packClientPoint(1, 2));
    EXPECT_EQ(host_.take(), Log{});
}

}  // namespace
