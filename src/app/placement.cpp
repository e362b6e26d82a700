#include "app/placement.h"

namespace {
constexpr int kStartWidthFloor = 880;
constexpr int kStartHeightFloor = 562;
}  // namespace

WindowRect startPlacement(const SettingsStore& settings) {
    WindowRect rect;
    rect.left = settings.readIntSetting("left");
    rect.top = settings.readIntSetting("top");
    int width = settings.readIntSetting("width");
    int height = settings.readIntSetting("height");
    rect.width = width > kStartWidthFloor ? width : kStartWidthFloor;
    rect.height = height > kStartHeightFloor ? height : kStartHeightFloor;
    return rect;
}

void savePlacement(const SettingsStore& settings, WindowState state, const WindowRect& rect) {
    switch (state) {
        case WindowState::Minimized:
            return;
        case WindowState::Maximized:
            settings.writeIntSetting("iszoomed", 1);
            return;
        case WindowState::Normal:
            settings.writeIntSetting("left", rect.left);
            settings.writeIntSetting("top", rect.top);
            settings.writeIntSetting("width", rect.width);
            settings.writeIntSetting("height", rect.height);
            settings.writeIntSetting("iszoomed", 0);
            return;
    }
}
