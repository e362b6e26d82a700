#pragma once

#include "bridge/settings_store.h"

// The window's rectangle in screen pixels, as stored under "left", "top", "width", "height".
struct WindowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const WindowRect&) const = default;
};

enum class WindowState { Normal, Minimized, Maximized };

// Where a window stands: its state and its last rectangle in the normal state.
struct WindowPlacement {
    WindowState state = WindowState::Normal;
    WindowRect normal;
};

// The smallest size the window may be dragged to; the stored size is floored at 880 x 562 only.
inline constexpr int kMinTrackWidth = 882;
inline constexpr int kMinTrackHeight = 562;

// The stored placement, each side at least 880 x 562. The window never starts maximised.
WindowRect startPlacement(const SettingsStore& settings);

// Minimised: nothing. Maximised: "iszoomed" = 1 only, so that the last normal rectangle stays.
// Normal: the rectangle and "iszoomed" = 0.
void savePlacement(const SettingsStore& settings, WindowState state, const WindowRect& rect);

// For hosts that learn of minimising and maximising only after the fact: keeps the last normal
// rectangle, which moves and sizes of a minimised or maximised window never replace.
class PlacementTracker {
  public:
    // The window was moved or resized while in `state`.
    void moved(const WindowRect& rect, WindowState state) {
        if (state == WindowState::Normal) lastNormal_ = rect;
    }
    const WindowRect& lastNormal() const { return lastNormal_; }

  private:
    WindowRect lastNormal_;
};
