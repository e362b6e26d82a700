#include <gtest/gtest.h>

#include "app/placement.h"
#include "app/start_page.h"
#include "platform/codepage.h"
#include "support/temp_dir.h"

namespace {

struct StoredSettings {
    TempDir dir;
    SettingsStore settings{dir.path()};

    std::string file() const { return readFileBytes(settings.settingsFilePath()); }
};

TEST(StartPage, AdsenseTextLongerThanFiveBytesSelectsTheAlternatePage) {
    const StartPages pages{"http://portal.test/", "http://portal.test/alt.html",
                           "file:///opt/vantu/portal/index.html"};
    const StartPages localOnly{"", "", "file:///opt/vantu/portal/index.html"};
    struct Case {
        const char* stored;  // UTF-8; null leaves the key unset
        const StartPages& pages;
        std::string expected;
    } cases[] = {
        {nullptr, pages, "http://portal.test/"},
        {"12345", pages, "http://portal.test/"},
        {"123456", pages, "http://portal.test/alt.html?123456"},
        {"a=b&c d#e", pages, "http://portal.test/alt.html?a=b&c d#e"},  // appended unchanged
        {"广告", pages, "http://portal.test/"},                         // 4 bytes in GBK
        {"广告联盟", pages, "http://portal.test/alt.html?广告联盟"},    // 8 bytes
        {nullptr, localOnly, "file:///opt/vantu/portal/index.html"},
        {"campaign", localOnly, "file:///opt/vantu/portal/index.html?campaign"},
    };
    for (const Case& c : cases) {
        StoredSettings s;
        if (c.stored)
            s.settings.writeValue("_GoogleAdsense", platform::utf8ToAnsi(c.stored).c_str());
        EXPECT_EQ(startPageAddress(s.settings, c.pages), c.expected) << (c.stored ? c.stored : "");
    }
}

TEST(Placement, StartSizeIsFlooredAt880By562AndNeverMaximised) {
    struct Case {
        const char* width;
        const char* height;
        WindowRect expected;
    } cases[] = {
        {nullptr, nullptr, {0, 0, 880, 562}}, {"500", "300", {0, 0, 880, 562}},
        {"1000", "700", {0, 0, 1000, 700}},   {"880", "562", {0, 0, 880, 562}},
        {"881", "563", {0, 0, 881, 563}},     {"-5", "abc", {0, 0, 880, 562}},
    };
    for (const Case& c : cases) {
        StoredSettings s;
        if (c.width) s.settings.writeValue("width", c.width);
        if (c.height) s.settings.writeValue("height", c.height);
        s.settings.writeValue("iszoomed", "1");
        EXPECT_EQ(startPlacement(s.settings), c.expected) << (c.width ? c.width : "-");
    }
    StoredSettings s;
    s.settings.writeValue("left", "-30");
    s.settings.writeValue("top", "1200");
    EXPECT_EQ(startPlacement(s.settings), (WindowRect{-30, 1200, 880, 562}));
}

TEST(Placement, SaveWritesTheRectangleOnlyForANormalWindow) {
    const WindowRect rect{10, 20, 1000, 700};
    StoredSettings normal;
    savePlacement(normal.settings, WindowState::Normal, rect);
    EXPECT_EQ(normal.file(),
              "[xxx]\r\nleft=10\r\ntop=20\r\nwidth=1000\r\nheight=700\r\niszoomed=0\r\n");

    StoredSettings maximized;
    savePlacement(maximized.settings, WindowState::Normal, rect);
    savePlacement(maximized.settings, WindowState::Maximized, {0, 0, 1920, 1080});
    EXPECT_EQ(maximized.file(),
              "[xxx]\r\nleft=10\r\ntop=20\r\nwidth=1000\r\nheight=700\r\niszoomed=1\r\n");

    StoredSettings minimized;
    savePlacement(minimized.settings, WindowState::Minimized, rect);
    EXPECT_EQ(minimized.file(), "");
}

TEST(PlacementTracker, MovesWhileMinimisedOrMaximisedNeverReplaceTheNormalRectangle) {
    const WindowRect normal{40, 30, 900, 600};
    PlacementTracker tracker;
    tracker.moved(normal, WindowState::Normal);
    tracker.moved({-32000, -32000, 160, 28}, WindowState::Minimized);
    tracker.moved({0, 0, 1920, 1080}, WindowState::Maximized);
    EXPECT_EQ(tracker.lastNormal(), normal);
}

}  // namespace
