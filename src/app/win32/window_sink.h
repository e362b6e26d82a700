#pragma once

#include <windows.h>

#include <atomic>

#include "platform/message_sink.h"

// Posts the worker's and the update check's messages to the window's queue, where they are
// handled in the order they were posted. Posts while no window is set are dropped.
class WindowSink : public platform::MessageSink {
  public:
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void setWindow(HWND window) { window_.store(window); }

  private:
    std::atomic<HWND> window_{nullptr};
};
