#pragma once

#include <deque>
#include <mutex>

#include "app/window_seat.h"

// The window program's seat on GTK: hands the events that any thread posts to the window's
// thread, in the order they were posted, through the GLib main context.
class WindowSink : public WindowSeat {
  public:
    void post(const TaskEvent& event) override;

  private:
    static int deliverAll(void* self);

    std::mutex mutex_;
    std::deque<TaskEvent> queue_;
    bool scheduled_ = false;
};
