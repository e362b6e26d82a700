// The window's decisions, once for both hosts: a recording window stands in for the host.

#include "app/window_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "app/offline_page.h"
#include "common/seat.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/loopback_server.h"
#include "support/program_stub.h"
#include "support/temp_dir.h"
#include "support/update_keys.h"

namespace {

using Log = std::vector<std::string>;

class FixedClock : public platform::Clock {
  public:
    uint32_t tickCount() const override { return tick; }
    uint32_t tick = 0;
};

// Records what the controller asks of the window, one line each.
class RecordingWindow : public AppWindow {
  public:
    // How the page answers a call: a Windows page has run it when the call returns, a GTK page
    // runs it later, a hung page never.
    enum class Answer { AtOnce, Later, Never };

    void navigate(const std::string& address) override { log.push_back("navigate " + address); }
    void showOfflinePage(const OfflinePage& page) override {
        log.push_back("offline " + page.file);
        EXPECT_EQ(page.text, offlinePageText());
        EXPECT_EQ(page.picture, "GIF89a");
    }
    void showTextPage(const std::string& text) override { log.push_back("text " + text); }
    bool hasDocument() const override { return document; }
    void callPage(const PageCall& call, std::function<void()> done) override {
        log.push_back(formatPageCall(call));
        if (done && answer == Answer::AtOnce) done();
        if (done && answer == Answer::Later) pending = std::move(done);
    }
    void show(Show how) override { log.push_back(how == Show::First ? "show" : "restore"); }
    bool ask(const std::string&, const std::string& title) override {
        log.push_back("ask " + platform::ansiToUtf8(title));
        return true;
    }
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) override {
        log.push_back("choose " + request.extension);
        return {platform::FileDialogAnswer::Outcome::Chosen, "route.gpx"};
    }
    void startTimer(int id, unsigned ms) override {
        running.insert(id);
        log.push_back("start " + std::to_string(id) + " " + std::to_string(ms));
    }
    void stopTimer(int id) override {
        if (running.erase(id)) log.push_back("stop " + std::to_string(id));
    }
    WindowPlacement placement() override { return where; }
    void quit() override { log.push_back("quit"); }

    Log take() { return std::exchange(log, {}); }

    bool document = true;
    Answer answer = Answer::AtOnce;
    std::function<void()> pending;
    WindowPlacement where{WindowState::Normal, {40, 30, 900, 600}};
    std::set<int> running;
    Log log;
};

// The navigator as the controller sees it: a cached flag and a check that refreshes it.
class RecordingDevice : public ExternalMethods {
  public:
    explicit RecordingDevice(Log& log) : log_(log) {}
    int checkConnection() override {
        log_.push_back("check");
        connected = deviceThere;
        return deviceThere;
    }
    void restartDeviceLink() override { log_.push_back("restart"); }

    int connected = 0;
    int deviceThere = 0;

  private:
    Log& log_;
};

// The program's seat with its posts kept: the window's thread is the test's.
class TestSeat : public WindowSeat {
  public:
    void post(const TaskEvent& event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(event);
    }

  private:
    std::mutex mutex_;
    std::vector<TaskEvent> posted_;
};

constexpr const char* kStart = "http://portal.test/start.html";
const std::string kSavedNormal =
    "[xxx]\r\nleft=40\r\ntop=30\r\nwidth=900\r\nheight=600\r\niszoomed=0\r\n";
const std::string kSavedZoomed = "[xxx]\r\niszoomed=1\r\n";

// A window with its controller, and the pieces around them.
struct Harness {
    explicit Harness(std::string program = "vantu", std::string manifest = "",
                     TestSeat* outside = nullptr)
        : seat(outside != nullptr ? *outside : ownSeat),
          update(dir.file(program + kProgramSuffix), std::move(manifest), kUpdateKeyPoint, seat),
          controller(
              window,
              {settings, device, device.connected, update, {kStart, "", ""}, "GIF89a", seat}) {}

    // A timer ticks only while it runs.
    void tick(int id) {
        if (window.running.count(id)) controller.timer(id);
    }
    std::string saved() const { return readFileBytes(settings.settingsFilePath()); }

    TempDir dir;
    SettingsStore settings{dir.path()};
    RecordingWindow window;
    RecordingDevice device{window.log};
    TestSeat ownSeat;
    TestSeat& seat;
    BackgroundUpdate update;
    WindowController controller;
};

class WindowControllerTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setClock(&clock_); }
    void TearDown() override { platform::setClock(nullptr); }

    FixedClock clock_;
    Harness h_;
    RecordingWindow& window_ = h_.window;
    WindowController& controller_ = h_.controller;
};

// ---- the first page, the first show and the update check

enum class Event { Start, TopDone, NoPageTick, Close };

TEST_F(WindowControllerTest, OnlyTheTopDocumentShowsTheWindowAndStartsTheUpdateCheck) {
    // A manifest whose check asks the user: a started check waits on that question for good.
    LoopbackServer server;
    server.serve("/update.xml",
                 "<do><b><download><url>http://127.0.0.1:9/</url><signature>s</signature>"
                 "</download></b></do>");
    struct Case {
        const char* name;
        std::vector<Event> events;
        Log expected;
        std::optional<bool> checking;  // whether a check runs afterwards
        const char* program = "vantu";
    } cases[] = {
        {"start",
         {Event::Start},
         {"navigate http://portal.test/start.html", "start 1001 10000"},
         false},
        {"the top document", {Event::TopDone}, {"show"}, true},
        {"the next top document", {Event::TopDone, Event::TopDone}, {"show", "restore"}, true},
        {"the top document after start",
         {Event::Start, Event::TopDone},
         {"navigate http://portal.test/start.html", "start 1001 10000", "stop 1001", "show"},
         true},
        {"no page within 10 s",
         {Event::Start, Event::NoPageTick},
         {"navigate http://portal.test/start.html", "start 1001 10000", "stop 1001"},
         true},
        {"an updater copy hands over without showing itself",
         {Event::TopDone},
         {},
         std::nullopt,
         "vantu_update"},
        {"a page that completes while the window closes",
         {Event::Close, Event::TopDone},
         {"start 1003 3000", "onWinExit()", "stop 1003", "quit"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.program, server.url("/update.xml"));
        for (Event event : c.events) {
            if (event == Event::Start) h.controller.start();
            if (event == Event::TopDone) h.controller.documentReady();
            if (event == Event::NoPageTick) h.tick(TIMER_UPDATE_WITHOUT_PAGE);
            if (event == Event::Close) h.controller.close();
        }
        EXPECT_EQ(h.window.log, c.expected);
        if (c.checking) {
            EXPECT_EQ(h.update.running(), *c.checking);
        }
    }
}

TEST_F(WindowControllerTest, TheSeatAsksAndDeliversThroughTheWindowWhileItLives) {
    platform::FileDialogRequest gpx{platform::FileDialogRequest::Kind::Save, "", "", "gpx", ""};
    TestSeat seat;
    {
        Harness h("vantu", "", &seat);
        EXPECT_TRUE(seat.ask(platform::utf8ToAnsi("发现新版本，您希望现在更新吗？"),
                             platform::utf8ToAnsi("在线更新")));
        EXPECT_EQ(seat.chooseFile(gpx).path, "route.gpx");
        seat.deliver(TaskEvent::ofStatus(TaskStatus::Done));
        EXPECT_EQ(h.window.take(),
                  (Log{"ask 在线更新", "choose gpx", "kankan(\" \",\"0\",\"0\")"}));
    }
    // The window has gone; the seat stays, as the navigator's objects may still use it.
    EXPECT_FALSE(seat.ask("", "nobody"));
    EXPECT_EQ(seat.chooseFile(gpx).outcome, platform::FileDialogAnswer::Outcome::Cancelled);
    seat.deliver(TaskEvent::ofStatus(TaskStatus::Done));
}

// ---- the offline page

enum class Nav { ErrorPage, TopFailed, FrameFailed, TopDone, Tick, Close };

TEST_F(WindowControllerTest, FailedPagesGiveWayToTheOfflinePageThenToTheTextPage) {
    const std::string offline = "offline " + platform::privateFile("nolink.html");
    const std::string text = "text 请联网以后使用！";
    struct Step {
        Nav nav;
        bool taken;  // what beforeNavigate or navigationFailed answer
        Log expected;
    };
    const Step queued{Nav::TopFailed, true, {"start 1002 0"}};
    const Step shown{Nav::Tick, true, {"stop 1002", offline}};
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"the browser's error page, of any frame",
         {{Nav::ErrorPage, true, {"start 1002 0"}}, shown}},
        {"a top document that failed", {queued, shown}},
        {"an inner frame that failed is its page's own business",
         {{Nav::FrameFailed, false, {}}, {Nav::Tick, true, {}}}},
        {"the offline page failing, then the text page failing",
         {queued,
          shown,
          queued,
          {Nav::Tick, true, {"stop 1002", text}},
          {Nav::TopFailed, true, {}}}},
        {"a page that loads ends the fallback",
         {queued, shown, {Nav::TopDone, true, {"show"}}, queued, shown}},
        {"several failures before the page changes give one offline page",
         {{Nav::ErrorPage, true, {"start 1002 0"}},
          queued,
          shown,
          {Nav::ErrorPage, true, {"start 1002 0"}},
          {Nav::Tick, true, {"stop 1002"}}}},
        {"a closing window changes no page",
         {queued,
          {Nav::Close, true, {"start 1003 3000", "onWinExit()", "stop 1003", "quit"}},
          {Nav::TopFailed, false, {}},
          {Nav::Tick, true, {"stop 1002"}}}},
    };
    for (const Case& c : cases) {
        Harness h;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(i));
            const Step& s = c.steps[i];
            bool taken = true;
            if (s.nav == Nav::ErrorPage)
                taken = h.controller.beforeNavigate("res://x/dnserror.htm");
            if (s.nav == Nav::TopFailed) taken = h.controller.navigationFailed(true);
            if (s.nav == Nav::FrameFailed) taken = h.controller.navigationFailed(false);
            if (s.nav == Nav::TopDone) h.controller.documentReady();
            if (s.nav == Nav::Tick) h.tick(TIMER_OFFLINE_PAGE);
            if (s.nav == Nav::Close) h.controller.close();
            EXPECT_EQ(taken, s.taken);
            EXPECT_EQ(h.window.take(), s.expected);
        }
    }
}

TEST_F(WindowControllerTest, OnlyTheBrowsersOwnErrorPagesAreIntercepted) {
    struct Case {
        const char* address;
        bool intercepted;
    } cases[] = {
        {"res://ieframe.dll/dnserror.htm", true},
        {"res://", true},
        {"RES://ieframe.dll/dnserror.htm", false},
        {"http://portal.test/?next=res://x", false},
        {" res://x", false},
        {"res:/", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(controller_.beforeNavigate(c.address), c.intercepted) << c.address;
        EXPECT_EQ(window_.take(), c.intercepted ? Log{"start 1002 0"} : Log{}) << c.address;
    }
}

TEST_F(WindowControllerTest, AnOfflinePageThatCannotBeWrittenGivesTheTextPage) {
    // A folder where the picture goes.
    std::string picture = platform::privateFile("nolink.gif");
    ASSERT_FALSE(picture.empty());
    platform::deleteFile(picture);
    ASSERT_TRUE(platform::createFolder(picture));
    controller_.navigationFailed(true);
    h_.tick(TIMER_OFFLINE_PAGE);
    EXPECT_EQ(window_.take(), (Log{"start 1002 0", "stop 1002", "text 请联网以后使用！"}));
    platform::removeTree(picture);
}

// ---- the devices, the task notifications and right clicks

TEST_F(WindowControllerTest, DeviceChangesCloserThanFiveSecondsToTheLastHandledOneArePassedOn) {
    h_.device.connected = 1;
    struct Step {
        uint32_t tick;
        bool document;
        bool handled;
    };
    const Step steps[] = {
        {4000, true, false},  // the first five seconds of the tick count too
        {5001, true, true},
        {100000, false, false},  // without a document: passed on, and
                                 // not counted
        {100000, true, true},
        {102000, true, false},
        {106000, true, true},
        {111000, true, false},  // exactly 5 s is still too close
        {111001, true, true},
        {0xFFFFF000u, true, true},  // the tick count wraps around
        {0x00000388, true, false},
        {0x00000389, true, true},
    };
    for (const Step& s : steps) {
        clock_.tick = s.tick;
        window_.document = s.document;
        EXPECT_EQ(controller_.deviceChanged(), s.handled) << s.tick;
        EXPECT_EQ(window_.take(), s.handled ? Log{"PDALink()"} : Log{}) << s.tick;
    }
}

TEST_F(WindowControllerTest, DeviceNotificationsFollowTheConnectionTheTwoTimersAndTheLink) {
    struct Case {
        const char* name;
        bool cached;     // the cached flag at the change
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
         {"check", "start 1 3000", "restart", "check", "PDALink()", "stop 1"}},
        {"the link comes up without a navigator",
         false,
         false,
         true,
         false,
         {"check", "start 1 3000", "restart", "check", "check", "start 2 10000", "stop 1",
          "PDALink()", "stop 2"}},
    };
    for (const Case& c : cases) {
        Harness h;
        clock_.tick = 200000;
        h.device.connected = c.cached;
        h.device.deviceThere = c.atChange;
        EXPECT_TRUE(h.controller.deviceChanged());
        h.device.deviceThere = c.atRecheck;
        if (c.linkUp) {
            EXPECT_TRUE(h.controller.taskEvent(TaskEvent::of(TaskEvent::Kind::DeviceLink)));
        }
        // The running timers tick in the order they fire: the recheck, then the late one.
        h.tick(TIMER_DEVICE_RECHECK);
        h.tick(TIMER_DEVICE_LATE);
        EXPECT_EQ(h.window.log, c.expected) << c.name;
        EXPECT_TRUE(h.window.running.empty()) << c.name;
    }
}

TEST_F(WindowControllerTest, DeviceTimersWithoutADocumentKeepRunning) {
    window_.running = {TIMER_DEVICE_RECHECK, TIMER_DEVICE_LATE};
    window_.document = false;
    for (int id : {TIMER_DEVICE_RECHECK, TIMER_DEVICE_LATE, 1000})
        EXPECT_FALSE(controller_.timer(id)) << id;
    EXPECT_EQ(window_.take(), Log{});
    window_.document = true;
    EXPECT_FALSE(controller_.timer(1000));
    EXPECT_TRUE(controller_.timer(TIMER_DEVICE_LATE));
    EXPECT_EQ(window_.take(), (Log{"PDALink()", "stop 2"}));
}

TEST_F(WindowControllerTest, TaskEventsBecomePageCallsOnlyWithADocument) {
    auto status = [](int code) { return TaskEvent::ofStatus(static_cast<TaskStatus>(code)); };
    auto progress = [](int task, int ordinal) {
        return TaskEvent::ofProgress(static_cast<TaskKind>(task), ordinal);
    };
    struct Case {
        TaskEvent event;
        Log expected;
    } cases[] = {
        {status(0), {"kankan(\" \",\"0\",\"0\")"}},
        {status(1), {"kankan(\"程序暂时很忙，请稍候再试！\",\"1\",\"0\")"}},
        {status(2), {"kankan(\"出现未知错误，建议重启程序！\",\"2\",\"0\")"}},
        {status(3), {"kankan(\"尚未连接Trevvo，请将您的Trevvo连接到电脑！\",\"3\",\"0\")"}},
        {status(4), {"kankan(\"下载路书失败，网络异常！\",\"4\",\"0\")"}},
        {status(5), {"kankan(\"上传路书失败，网络异常！\",\"5\",\"0\")"}},
        {status(6), {"kankan()"}},
        {status(7), {"kankan(\"下载路书失败，此路书已超过20M！\",\"7\",\"0\")"}},
        {status(8), {"kankan(\"上传路书失败，此路书已超过20M！\",\"8\",\"0\")"}},
        {status(9), {"kankan(\"数据传输错误。\",\"9\",\"0\")"}},
        {status(10), {"kankan(\"路书文件解压失败。\",\"10\",\"0\")"}},
        {status(11), {"kankan()"}},
        {status(12), {"kankan(\"路书读取失败。\",\"12\",\"0\")"}},
        {TaskEvent::ofStatus(TaskStatus::DownloadFailed, platform::OsCause::DiskFull),
         {"kankan(\"下载路书失败，网络异常！\",\"4\",\"4\")"}},
        {status(15), {"kankan()"}},
        {status(-1), {"kankan()"}},
        {progress(0, 1), {"currentLushu(\"1\",\"down\")"}},
        {progress(1, 3), {"currentLushu(\"3\",\"delete\")"}},
        {progress(2, 12), {"currentLushu(\"12\",\"updata\")"}},
        {progress(0, -1), {"currentLushu(\"-1\",\"down\")"}},
        {progress(4, 4), {"currentLushu(\"4\")"}},
        {TaskEvent::of(TaskEvent::Kind::DeviceLink), {"check"}},
    };
    for (const Case& c : cases) {
        window_.document = true;
        EXPECT_EQ(controller_.taskEvent(c.event), !c.expected.empty());
        EXPECT_EQ(window_.take(), c.expected) << c.expected.front();
        window_.document = false;
        EXPECT_FALSE(controller_.taskEvent(c.event));
        EXPECT_EQ(window_.take(), Log{});
    }
}

// A worker's question goes to the page; a window without a page, or a page that goes before it
// answers, answers No, so that the worker does not wait on.
TEST_F(WindowControllerTest, AQuestionNoPageAnswersIsAnsweredNo) {
    for (bool document : {false, true}) {
        SCOPED_TRACE(document ? "a page that goes" : "no page");
        window_.document = document;
        TestSeat seat;
        auto question = std::make_shared<SeatQuestion>();
        std::future<bool> answer = std::async(std::launch::async, [&] {
            return question->ask(seat, {"track\\A.sim"}, [] { return false; });
        });
        while (question->items().empty())
            std::this_thread::yield();
        TaskEvent asked = TaskEvent::of(TaskEvent::Kind::ReplaceQuestion);
        asked.question = question;
        EXPECT_EQ(controller_.taskEvent(asked), document);
        if (document) {
            EXPECT_EQ(window_.take(), Log{"askReplace()"});
            EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
            controller_.documentReady();
        }
        EXPECT_FALSE(answer.get());
    }
}

TEST_F(WindowControllerTest, RightClicksPassClientCoordinatesAsUnsigned16BitNumbers) {
    struct Case {
        int x, y;
        std::string expected;
    } cases[] = {
        {120, 45, "onRButtonDown(\"120\",\"45\")"},
        {0, 65535, "onRButtonDown(\"0\",\"65535\")"},
        {65536 + 7, 3, "onRButtonDown(\"7\",\"3\")"},
        {-1, -2, "onRButtonDown(\"65535\",\"65534\")"},
    };
    for (const Case& c : cases) {
        controller_.rightButtonDown(c.x, c.y);
        EXPECT_EQ(window_.take(), Log{c.expected}) << c.x << "," << c.y;
    }
    window_.document = false;
    controller_.rightButtonDown(1, 2);
    EXPECT_EQ(window_.take(), Log{});
}

// ---- placement and closing

TEST_F(WindowControllerTest, MinimisingOrMaximisingSavesThePlacementFirst) {
    using S = WindowState;
    struct Case {
        S from, to;
        std::string saved;
    } cases[] = {
        {S::Normal, S::Minimized, kSavedNormal},
        {S::Normal, S::Maximized, kSavedNormal},
        {S::Maximized, S::Minimized, kSavedZoomed},
        {S::Minimized, S::Normal, ""},
        {S::Maximized, S::Normal, ""},
        {S::Minimized, S::Minimized, ""},
        {S::Maximized, S::Maximized, ""},
    };
    for (const Case& c : cases) {
        Harness h;
        h.window.where.state = c.from;
        h.controller.stateChanging(c.to);
        EXPECT_EQ(h.saved(), c.saved) << int(c.from) << " to " << int(c.to);
    }
    // Maximised, then closed: the next start opens at the normal rectangle.
    Harness h;
    h.controller.stateChanging(S::Maximized);
    h.window.where = {S::Maximized, {0, 0, 1920, 1080}};
    h.controller.close();
    EXPECT_EQ(h.saved(), "[xxx]\r\nleft=40\r\ntop=30\r\nwidth=900\r\nheight=600\r\niszoomed=1\r\n");
    EXPECT_EQ(h.controller.startPlacement(), (WindowRect{40, 30, 900, 600}));
}

TEST_F(WindowControllerTest, ClosingSavesThePlacementTellsThePageAndEndsOnce) {
    using A = RecordingWindow::Answer;
    enum class Then { Nothing, PageAnswers, TimerTicks };
    const Log called{"start 1003 3000", "onWinExit()"};
    const Log ended{"stop 1003", "quit"};
    struct Case {
        const char* name;
        WindowState state;
        bool document;
        A answer;
        Then then;
        Log atClose;
        Log after;
        std::string saved;
        bool byUpdate = false;
    } cases[] = {
        {"normal, answered at once",
         WindowState::Normal,
         true,
         A::AtOnce,
         Then::Nothing,
         {"start 1003 3000", "onWinExit()", "stop 1003", "quit"},
         {},
         kSavedNormal},
        {"maximised, answered later", WindowState::Maximized, true, A::Later, Then::PageAnswers,
         called, ended, kSavedZoomed},
        {"minimised, never answered", WindowState::Minimized, true, A::Never, Then::TimerTicks,
         called, ended, ""},
        {"answered after the window gave up", WindowState::Normal, true, A::Later, Then::TimerTicks,
         called, ended, kSavedNormal},
        {"without a document",
         WindowState::Normal,
         false,
         A::Never,
         Then::Nothing,
         {"quit"},
         {},
         kSavedNormal},
        {"an update that replaces the program",
         WindowState::Normal,
         false,
         A::Never,
         Then::Nothing,
         {"quit"},
         {},
         kSavedNormal,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.window.where.state = c.state;
        h.window.document = c.document;
        h.window.answer = c.answer;
        if (c.byUpdate)
            h.controller.taskEvent(TaskEvent::of(TaskEvent::Kind::UpdateClose));
        else
            h.controller.close();
        EXPECT_EQ(h.window.take(), c.atClose);
        if (c.then == Then::PageAnswers) h.window.pending();
        if (c.then == Then::TimerTicks) h.tick(TIMER_EXIT_CALL);
        EXPECT_EQ(h.window.take(), c.after);
        EXPECT_EQ(h.saved(), c.saved);
        // Whatever comes later ends nothing twice.
        if (h.window.pending) h.window.pending();
        h.controller.close();
        EXPECT_EQ(h.window.take(), Log{});
    }
    Harness h;
    h.controller.taskEvent(TaskEvent::of(TaskEvent::Kind::UpdateDone));
    EXPECT_EQ(h.window.take(), Log{});
}

}  // namespace
