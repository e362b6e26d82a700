#pragma once

#include <string>

#include "common/seat.h"

class WindowController;

// The window program's seat. The navigator's objects are built before the window and kept after
// it, and a task or the link watch may post until the program ends, so this seat outlives any
// window: each host carries posts to its window's thread (post), where they go on to the
// window's controller; the controller answers questions and file dialogs. Without a controller
// (before the window, after it) events are dropped, questions answered No and dialogs Cancelled.
class WindowSeat : public Seat {
  public:
    // Window thread. The controller that takes events and answers from now on; null when it
    // goes.
    void attach(WindowController* controller) { controller_ = controller; }
    // Window thread: a posted event has arrived.
    void deliver(const TaskEvent& event);

    bool ask(const std::string& text, const std::string& title) override;
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) override;

  private:
    WindowController* controller_ = nullptr;
};
