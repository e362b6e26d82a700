// The window under wine: pages cannot render there, so a recording page stands in for the
// browser's document; everything else (dialog, timers, messages, placement) is the real thing.

#include <gtest/gtest.h>
#include <tinyxml.h>
#include <windows.h>
// After windows.h, which it needs.
#include <dbt.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/offline_page.h"
#include "app/placement.h"
#include "app/win32/browser_site.h"
#include "app/win32/host_resources.h"
#include "app/win32/host_window.h"
#include "app/win32/resource_ids.h"
#include "app/win32/window_sink.h"
#include "common/task_status.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace {

using Calls = std::vector<PageCall>;

std::string describe(const Calls& calls) {
    std::string out;
    for (const PageCall& call : calls) {
        out += call.function + "(";
        for (size_t i = 0; i < call.args.size(); ++i)
            out += (i ? "," : "") + platform::ansiToUtf8(call.args[i]);
        out += ") ";
    }
    return out;
}

class RecordingPage : public PagePort {
  public:
    bool document = true;
    Calls calls;
    std::vector<int> zooms;
    bool hasDocument() override { return document; }
    void call(const PageCall& call) override { calls.push_back(call); }
    void zoom(int percent) override { zooms.push_back(percent); }
};

class ProbeMethods : public ExternalMethods {
  public:
    int answer = 0;
    int restarts = 0;
    int checkConnection() override { return answer; }
    void restartDeviceLink() override { ++restarts; }
};

const StartPages kBlank{"about:blank", "", "about:blank"};

class FixedClock : public platform::Clock {
  public:
    uint32_t tick = 100000;
    uint32_t tickCount() const override { return tick; }
};

// Lets the window's messages run for a while, or until `done` holds.
template <typename Done>
bool pumpUntil(HostWindow& dialog, Done done, int limitMs = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        dialog.runPending();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void pumpFor(HostWindow& dialog, int ms) {
    pumpUntil(
        dialog, [] { return false; }, ms);
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        OleInitialize(nullptr);
        settings = std::make_unique<SettingsStore>(folder.path());
        dialog = std::make_unique<HostWindow>(
            WindowController::Parts{*settings, methods, connected, update, kBlank, offlinePicture(),
                                    seat},
            nullptr);
        dialog->usePage(&page);
        ASSERT_TRUE(dialog->create(GetModuleHandleA(nullptr))) << GetLastError();
        window = dialog->window();
    }
    void TearDown() override {
        platform::setClock(nullptr);
        dialog.reset();
        OleUninitialize();
    }
    // Whether the timer was running (it is stopped by asking).
    bool timerWasRunning(int id) { return KillTimer(window, id) != FALSE; }
    std::string setting(const char* key) { return settings->getValue(key); }

    TempDir folder;
    std::unique_ptr<SettingsStore> settings;
    int connected = 0;
    ProbeMethods methods;
    WindowSink seat;
    // Nothing listens at port 9: a check that starts ends at once.
    BackgroundUpdate update{platform::programFile(), "http://127.0.0.1:9/", "", seat};
    RecordingPage page;
    std::unique_ptr<HostWindow> dialog;
    HWND window = nullptr;
};

TEST_F(WindowTest, ComesFromTheResourcesMinimisedWithTheBrowserInPlaceAndTheFlashScanRunning) {
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(title)),
              u"KorvelVantu\uFF0D免费电子地图，路书随身行");
    LONG style = GetWindowLongA(window, GWL_STYLE);
    for (LONG bit : {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX})
        EXPECT_EQ(style & bit, bit) << std::hex << bit;
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_NE(GetDlgItem(window, IDC_BROWSER), nullptr);
    EXPECT_NE(SendMessageA(window, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_TRUE(timerWasRunning(TIMER_FLASH_SCAN));
}

TEST(ProgramResources, HoldTheOfflinePictureAndTheIcon) {
    std::string_view gif = offlinePicture();
    ASSERT_GE(gif.size(), 10u);
    EXPECT_EQ(gif.substr(0, 6), "GIF89a");
    EXPECT_EQ(uint8_t(gif[6]) | uint8_t(gif[7]) << 8, 507);
    EXPECT_EQ(uint8_t(gif[8]) | uint8_t(gif[9]) << 8, 230);

    for (int size : {16, 32, 48}) {
        HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_WINDOW),
                                 IMAGE_ICON, size, size, 0);
        EXPECT_NE(icon, nullptr) << size;
        ICONINFO info{};
        if (icon != nullptr && GetIconInfo(static_cast<HICON>(icon), &info)) {
            BITMAP bitmap{};
            GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, size);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(static_cast<HICON>(icon));
        }
    }
    char text[256] = {};
    EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_NETWORK_FAILED, text, sizeof text), 0);
}

// Placement at start, from what vantu.ini holds.
TEST(WindowPlacement, StartsAtTheStoredRectangleNoSmallerThan880By562) {
    struct Case {
        int left, top, width, height;
        RECT expected;
    };
    const Case cases[] = {
        // The floor asks for 880 x 562; the minimum tracking size (882 x 562) makes it 882.
        {0, 0, 0, 0, {0, 0, 882, 562}},              // nothing stored
        {40, 30, 500, 300, {40, 30, 922, 592}},      // too small: the floor
        {10, 20, 1000, 700, {10, 20, 1010, 720}},    // exactly as stored
        {5, 6, 883, 563, {5, 6, 888, 569}},          // just above the floor
        {100, 50, 1000, 300, {100, 50, 1100, 612}},  // one side floored
    };
    OleInitialize(nullptr);
    for (const Case& c : cases) {
        TempDir folder;
        SettingsStore settings(folder.path());
        if (c.width != 0) {
            settings.writeIntSetting("left", c.left);
            settings.writeIntSetting("top", c.top);
            settings.writeIntSetting("width", c.width);
            settings.writeIntSetting("height", c.height);
            settings.writeIntSetting("iszoomed", 1);  // never starts maximised
        }
        int connected = 0;
        ProbeMethods methods;
        WindowSink seat;
        BackgroundUpdate update(platform::programFile(), "", "", seat);
        HostWindow dialog({settings, methods, connected, update, kBlank, offlinePicture(), seat},
                          nullptr);
        ASSERT_TRUE(dialog.create(GetModuleHandleA(nullptr)));
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(dialog.window(), &placement);
        EXPECT_TRUE(IsIconic(dialog.window()));
        EXPECT_FALSE(placement.flags & WPF_RESTORETOMAXIMIZED);
        const RECT& got = placement.rcNormalPosition;
        EXPECT_EQ(got.left, c.expected.left) << c.width << "x" << c.height;
        EXPECT_EQ(got.top, c.expected.top) << c.width << "x" << c.height;
        EXPECT_EQ(got.right - got.left, c.expected.right - c.expected.left) << c.width;
        EXPECT_EQ(got.bottom - got.top, c.expected.bottom - c.expected.top) << c.height;
    }
    OleUninitialize();
}

// What minimising, maximising and closing write into vantu.ini.
TEST_F(WindowTest, SavesThePlacementBeforeMinimisingOrMaximisingAndWhenClosing) {
    struct Case {
        const char* what;
        int showFirst;  // the state the window is in before the action
        UINT message;
        WPARAM command;
        const char* left;  // "" when nothing may be written
        const char* zoomed;
    };
    const Case cases[] = {
        {"minimise", SW_SHOWNORMAL, WM_SYSCOMMAND, SC_MINIMIZE, "60", "0"},
        {"maximise", SW_SHOWNORMAL, WM_SYSCOMMAND, SC_MAXIMIZE, "60", "0"},
        {"command with low bits", SW_SHOWNORMAL, WM_SYSCOMMAND, SC_MAXIMIZE | 2, "", ""},
        {"close while maximised", SW_SHOWMAXIMIZED, WM_CLOSE, 0, "", "1"},
        {"close while minimised", SW_SHOWMINIMIZED, WM_CLOSE, 0, "", ""},
        {"close while normal", SW_SHOWNORMAL, WM_CLOSE, 0, "60", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (dialog->ended()) SetUp();
        ShowWindow(window, SW_SHOWNORMAL);
        SetWindowPos(window, nullptr, 60, 70, 900, 600, SWP_NOZORDER);
        ShowWindow(window, c.showFirst);
        pumpFor(*dialog, 30);
        DeleteFileA(settings->settingsFilePath().c_str());
        SendMessageA(window, c.message, c.command, 0);
        EXPECT_EQ(setting("left"), c.left);
        EXPECT_EQ(setting("iszoomed"), c.zoomed);
        if (*c.left) {
            EXPECT_EQ(setting("top"), "70");
            EXPECT_EQ(setting("width"), "900");
            EXPECT_EQ(setting("height"), "600");
        }
    }
}

// On a monitor of another DPI: the rectangle the system suggests, the minimum size scaled to
// that DPI (screen pixels at 96 DPI) and the page zoomed by that DPI over the system's (96 here),
// again whenever the top document completes; back at 96 DPI the plain minimum and no zoom.
TEST_F(WindowTest, FollowsDpiChangesWithTheSuggestedRectangleAScaledMinimumAndThePagesZoom) {
    struct Case {
        UINT dpi;
        RECT suggested;
        SIZE minimum;
        int zoom;
    };
    const Case cases[] = {
        {144, {30, 40, 1530, 1040}, {1323, 843}, 150},
        {120, {20, 10, 1270, 810}, {1103, 703}, 125},  // 1102.5 and 702.5, rounded
        {192, {0, 0, 1800, 1150}, {1764, 1124}, 200},
        {96, {50, 60, 1050, 760}, {882, 562}, 100},
    };
    ShowWindow(window, SW_SHOWNORMAL);
    BrowserEvents& browser = *dialog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        page.zooms.clear();
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi),
                     reinterpret_cast<LPARAM>(&c.suggested));
        browser.documentComplete(false);
        browser.documentComplete(true);
        EXPECT_EQ(page.zooms, (std::vector<int>{c.zoom, c.zoom}));
        RECT got{};
        GetWindowRect(window, &got);
        EXPECT_EQ(got.left, c.suggested.left);
        EXPECT_EQ(got.top, c.suggested.top);
        EXPECT_EQ(got.right, c.suggested.right);
        EXPECT_EQ(got.bottom, c.suggested.bottom);
        SetWindowPos(window, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(window, &got);
        EXPECT_EQ(got.right - got.left, c.minimum.cx);
        EXPECT_EQ(got.bottom - got.top, c.minimum.cy);
    }
}

TEST_F(WindowTest, NeitherEnterNorEscNorTheDefaultButtonCloses) {
    const UINT keys[] = {VK_RETURN, VK_ESCAPE};
    for (UINT key : keys)
        for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
            MSG msg{GetDlgItem(window, IDC_BROWSER), message, key, 1, 0, {}};
            EXPECT_FALSE(dialog->preTranslate(msg)) << key;
        }
    SendMessageA(window, WM_COMMAND, IDOK, 0);
    pumpFor(*dialog, 30);
    EXPECT_FALSE(dialog->ended());
    EXPECT_TRUE(page.calls.empty()) << describe(page.calls);

    // The close box and the system menu's Close end it, telling the page.
    SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(dialog->ended());
    EXPECT_EQ(describe(page.calls), "onWinExit() ");
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(page.calls.size(), 1u);
}

TEST_F(WindowTest, RightClicksReachThePageAsClientCoordinatesAndGoOn) {
    MSG msg{window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(120, 45), 0, {}};
    EXPECT_FALSE(dialog->preTranslate(msg));
    page.document = false;
    EXPECT_FALSE(dialog->preTranslate(msg));
    EXPECT_EQ(describe(page.calls), "onRButtonDown(120,45) ");
}

// What the controller decides is tested without a window; here, that the system's device
// notifications, sent or posted, and the remote link's message reach it.
TEST_F(WindowTest, DeviceChangesAndTheRemoteLinkReachThePageOrArmTheRecheck) {
    FixedClock clock;
    platform::setClock(&clock);
    struct Step {
        uint32_t atMs;
        // Posted instead of sent as the system sends it; only events without data can be posted.
        bool post;
        WPARAM event;
        int connected;
        const char* calls;
        bool recheckArmed;
    };
    const Step steps[] = {
        {0, false, DBT_DEVICEARRIVAL, 1, "PDALink() ", false},
        {6000, true, DBT_DEVNODES_CHANGED, 1, "PDALink() ", false},
        {12000, false, DBT_DEVICEREMOVECOMPLETE, 0, "", true},
    };
    uint32_t start = clock.tick;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.atMs);
        clock.tick = start + s.atMs;
        page.calls.clear();
        connected = s.connected;
        if (s.post)
            PostMessageA(window, WM_DEVICECHANGE, s.event, 0);
        else
            SendMessageA(window, WM_DEVICECHANGE, s.event, 0);
        pumpFor(*dialog, 20);
        EXPECT_EQ(describe(page.calls), s.calls);
        EXPECT_EQ(timerWasRunning(TIMER_DEVICE_RECHECK), s.recheckArmed);
    }
    EXPECT_EQ(methods.restarts, 1) << "only a change that found no navigator restarts the link";

    // The restarted link comes up: the window checks, calls the page and stops the recheck.
    page.calls.clear();
    methods.answer = 1;
    dialog->startTimer(TIMER_DEVICE_RECHECK, kDeviceRecheckMs);
    seat.setWindow(window);
    seat.post(TaskEvent::of(TaskEvent::Kind::DeviceLink));
    pumpFor(*dialog, 20);
    EXPECT_EQ(describe(page.calls), "PDALink() ");
    EXPECT_FALSE(timerWasRunning(TIMER_DEVICE_RECHECK));
}

// The device timers tick for real; the intervals are shortened by starting them directly.
TEST_F(WindowTest, DeviceTimersTickOnceOrWaitForAPage) {
    struct Case {
        int timer;
        bool document;
        const char* calls;
        bool stillRunning;
    };
    const Case cases[] = {
        {TIMER_DEVICE_RECHECK, true, "", false},  // hands over to the late timer
        {TIMER_DEVICE_LATE, true, "PDALink() ", false},
        {TIMER_DEVICE_LATE, false, "", true},  // waits for a page
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.timer << " document " << c.document);
        page.calls.clear();
        page.document = c.document;
        dialog->startTimer(c.timer, 20);
        pumpFor(*dialog, 150);
        EXPECT_EQ(describe(page.calls), c.calls);
        if (c.timer == TIMER_DEVICE_RECHECK) {
            EXPECT_TRUE(timerWasRunning(TIMER_DEVICE_LATE));
        }
        EXPECT_EQ(timerWasRunning(c.timer), c.stillRunning);
    }
}

// The browser's events reach the controller: only the top document shows the window, and an
// error page of the browser's own gives way to the offline page written into the private folder.
TEST_F(WindowTest, BrowserEventsShowTheWindowAndTheOfflinePage) {
    BrowserEvents& browser = *dialog;
    browser.documentComplete(false);
    EXPECT_TRUE(IsIconic(window));
    browser.documentComplete(true);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(IsWindowVisible(window));

    std::string page = platform::privateFile("nolink.html");
    ASSERT_FALSE(page.empty());
    platform::deleteFile(page);
    EXPECT_FALSE(browser.beforeNavigate(u"http://portal.test/"));
    EXPECT_TRUE(browser.beforeNavigate(u"res://ieframe.dll/dnserror.htm"));
    EXPECT_FALSE(browser.navigateError(false, u"http://portal.test/frame.html"));
    EXPECT_TRUE(pumpUntil(*dialog, [&] { return platform::fileExists(page); }));
    std::string written;
    ASSERT_TRUE(platform::readWholeFile(page, written));
    EXPECT_EQ(written, offlinePageText());
}

LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITMENU || message == WM_INITMENUPOPUP)
        SetPropA(
            window, "menus",
            reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(GetPropA(window, "menus")) + 1));
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(WindowTest, TheFlashScanFiltersThePlayersMenusAndStopsOnceItFoundOne) {
    pumpFor(*dialog, 250);
    EXPECT_TRUE(timerWasRunning(TIMER_FLASH_SCAN)) << "scans on while there is no player";
    SetTimer(window, TIMER_FLASH_SCAN, kFlashScanMs, nullptr);

    WNDCLASSA type{};
    type.lpfnWndProc = countingProc;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "macromediaflashplayeractivex";  // letter case does not matter
    RegisterClassA(&type);
    HWND player = CreateWindowA(type.lpszClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window,
                                nullptr, type.hInstance, nullptr);
    ASSERT_NE(player, nullptr);
    pumpFor(*dialog, 300);
    EXPECT_FALSE(timerWasRunning(TIMER_FLASH_SCAN));
    for (UINT message : {WM_INITMENU, WM_INITMENUPOPUP})
        EXPECT_EQ(SendMessageA(player, message, 0, 0), 0);
    SendMessageA(player, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("still served"));
    char text[32] = {};
    GetWindowTextA(player, text, sizeof text);
    EXPECT_STREQ(text, "still served");
    EXPECT_EQ(GetPropA(player, "menus"), nullptr) << "menu messages reached the player";
    DestroyWindow(player);
    UnregisterClassA(type.lpszClassName, type.hInstance);
}

TEST_F(WindowTest, WorkerEventsFromAnotherThreadReachThePageInTheOrderPosted) {
    seat.setWindow(window);
    constexpr int kItems = 40;
    std::thread worker([this] {
        for (int i = 1; i <= kItems; ++i) {
            seat.postProgress(TaskKind(i % 3), i);
            seat.postStatus(TaskStatus(i % 13));
        }
    });
    worker.join();
    ASSERT_TRUE(pumpUntil(*dialog, [&] { return page.calls.size() >= 2 * kItems; }));
    const char* words[] = {"down", "delete", "updata"};
    for (int i = 1; i <= kItems; ++i) {
        const PageCall& progress = page.calls[2 * (i - 1)];
        EXPECT_EQ(progress.function, "currentLushu");
        EXPECT_EQ(progress.args, (std::vector<std::string>{std::to_string(i), words[i % 3]}));
        const PageCall& status = page.calls[2 * (i - 1) + 1];
        EXPECT_EQ(status.function, "kankan");
        EXPECT_EQ(status.args.size(), i % 13 == 6 || i % 13 == 11 ? 0u : 3u) << i;
    }
    // Without a page the messages are dropped, not kept for later.
    page.document = false;
    page.calls.clear();
    seat.postStatus(TaskStatus::Done);
    pumpFor(*dialog, 50);
    page.document = true;
    pumpFor(*dialog, 50);
    EXPECT_TRUE(page.calls.empty());
    // A seat without a window drops what it is given.
    seat.setWindow(nullptr);
    seat.postStatus(TaskStatus::Done);
    pumpFor(*dialog, 50);
    EXPECT_TRUE(page.calls.empty());
}

// --- the program itself

// A program of the build tree, named relative to this test program.
std::string builtProgram(std::string relative = VANTU_PROGRAM_RELATIVE) {
    for (char& c : relative)
        if (c == '/') c = '\\';
    return platform::programFolder() + relative;
}

struct Started {
    PROCESS_INFORMATION process{};
    bool ok = false;
};

Started start(const std::string& program, const std::string& arguments = "") {
    Started started;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string line = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    started.ok = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &started.process);
    return started;
}

HWND windowOf(DWORD processId) {
    struct Search {
        DWORD id;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char name[64] = {};
            GetClassNameA(window, name, sizeof name);
            if (owner == s->id && std::string(name) == "#32770") {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The exit code of a start that only asks whether the program file runs, or -1.
int runningAnswer(const std::string& program) {
    Started query = start(program, "--running");
    if (!query.ok) return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(query.process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(query.process.hProcess, &code);
    EXPECT_EQ(windowOf(query.process.dwProcessId), nullptr) << "the query opened a window";
    CloseHandle(query.process.hProcess);
    CloseHandle(query.process.hThread);
    return static_cast<int>(code);
}

TEST(Program, ASecondStartPresentsTheFirstInstanceAndEnds) {
    // A copy of its own: the instance slot is shared by the processes of one program file.
    TempDir folder;
    std::string program = folder.file("vantu.exe");
    ASSERT_TRUE(CopyFileA(builtProgram().c_str(), program.c_str(), FALSE)) << builtProgram();

    // The installer's question, before, while and after a window of the file is open.
    EXPECT_EQ(runningAnswer(program), 0);
    Started first = start(program);
    ASSERT_TRUE(first.ok);
    HWND window = nullptr;
    for (int i = 0; i < 300 && window == nullptr; ++i) {
        Sleep(50);
        window = windowOf(first.process.dwProcessId);
    }
    ASSERT_NE(window, nullptr) << "the first instance shows no window";
    EXPECT_EQ(runningAnswer(program), 1);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));

    Started second = start(program);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(WaitForSingleObject(second.process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(second.process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(windowOf(second.process.dwProcessId), nullptr);
    EXPECT_FALSE(IsIconic(window)) << "the first instance was not restored";

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(first.process.hProcess, 20000), WAIT_OBJECT_0);
    GetExitCodeProcess(first.process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(runningAnswer(program), 0);
    // Its placement was saved beside it on the way out.
    SettingsStore settings(folder.path());
    EXPECT_EQ(settings.getValue("iszoomed"), "0");
    for (Started* s : {&first, &second}) {
        CloseHandle(s->process.hProcess);
        CloseHandle(s->process.hThread);
    }
}

// The application manifest as the system reads it: the RT_MANIFEST resource.
std::string manifestOf(const std::string& program) {
    HMODULE image = LoadLibraryExA(program.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) return {};
    std::string text;
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    HGLOBAL loaded = found != nullptr ? LoadResource(image, found) : nullptr;
    if (loaded != nullptr)
        text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(image, found));
    FreeLibrary(image);
    return text;
}

// Every element of that name, at any depth.
void collect(const TiXmlElement* element, const char* name,
             std::vector<const TiXmlElement*>& found) {
    for (; element != nullptr; element = element->NextSiblingElement()) {
        if (element->ValueStr() == name) found.push_back(element);
        collect(element->FirstChildElement(), name, found);
    }
}

std::vector<const TiXmlElement*> all(const TiXmlDocument& document, const char* name) {
    std::vector<const TiXmlElement*> found;
    collect(document.RootElement(), name, found);
    return found;
}

std::string attribute(const TiXmlElement* element, const char* name) {
    const char* value = element->Attribute(name);
    return value != nullptr ? value : "";
}

TEST(Manifest, EachProgramIsDpiAwareThemedForWindows7To11AndRunsAsItsUser) {
    for (const char* relative : {VANTU_PROGRAM_RELATIVE, VANTU_CLI_RELATIVE}) {
        SCOPED_TRACE(relative);
        std::string text = manifestOf(builtProgram(relative));
        ASSERT_FALSE(text.empty()) << "no manifest resource";
        TiXmlDocument document;
        document.Parse(text.c_str());
        ASSERT_FALSE(document.Error()) << document.ErrorDesc();

        auto levels = all(document, "requestedExecutionLevel");
        ASSERT_EQ(levels.size(), 1u);
        EXPECT_EQ(attribute(levels[0], "level"), "asInvoker");

        auto awareness = all(document, "dpiAwareness");
        ASSERT_EQ(awareness.size(), 1u);
        // The first entry the system knows counts: PerMonitorV2 first, PerMonitor before 1703.
        EXPECT_EQ(std::string(awareness[0]->GetText()), "PerMonitorV2, PerMonitor");
        auto older = all(document, "dpiAware");
        ASSERT_EQ(older.size(), 1u);
        EXPECT_EQ(std::string(older[0]->GetText()), "true/pm");

        std::set<std::string> systems;
        for (const TiXmlElement* os : all(document, "supportedOS"))
            systems.insert(attribute(os, "Id"));
        EXPECT_EQ(systems, (std::set<std::string>{
                               "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
                               "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
                               "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
                           }));

        bool controls6 = false;
        for (const TiXmlElement* dependency : all(document, "dependentAssembly")) {
            const TiXmlElement* id = dependency->FirstChildElement("assemblyIdentity");
            controls6 |= id != nullptr &&
                         attribute(id, "name") == "Microsoft.Windows.Common-Controls" &&
                         attribute(id, "version") == "6.0.0.0" &&
                         attribute(id, "publicKeyToken") == "6595b64144ccf1df";
        }
        EXPECT_TRUE(controls6) << "no dependency on Common Controls 6";
        // The process keeps the system's ANSI code page (GBK on the users' systems).
        EXPECT_TRUE(all(document, "activeCodePage").empty());
    }
}

}  // namespace
