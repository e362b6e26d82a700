#pragma once

#include <windows.h>

#include <atomic>

#include "app/window_seat.h"

// The seat's events as a window message: wParam holds the event's kind and its task, lParam its
// status or ordinal.
inline constexpr UINT WM_TASK_EVENT = WM_USER + 1000;

// The window program's seat on Windows: posts the events of any thread to the window's queue,
// where they are handled in the order they were posted. Posts while no window is set are
// dropped.
class WindowSink : public WindowSeat {
  public:
    void post(const TaskEvent& event) override;
    void setWindow(HWND window) { window_.store(window); }

  private:
    std::atomic<HWND> window_{nullptr};
};

// WM_TASK_EVENT's parameters back as the event.
TaskEvent taskEventFrom(WPARAM wParam, LPARAM lParam);
