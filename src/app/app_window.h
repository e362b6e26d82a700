#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/page_messages.h"
#include "app/placement.h"
#include "platform/file_dialog.h"

// The offline page as a window shows it: written to `file` (a local path, ANSI) beside its
// picture. A window that can show bytes it holds shows `text` and `picture` instead, so that
// nothing put into the folder afterwards is ever shown.
struct OfflinePage {
    std::string file;
    std::string text;  // GBK
    std::string_view picture;
};

// What the window controller asks of a window. Each host implements this with its toolkit and
// does nothing else of its own: what to load, when to show, what an event does and how the
// window ends are the controller's decisions. Every call comes on the window's thread.
class AppWindow {
  public:
    enum class Show {
        First,    // in the normal state, brought to the front
        Restore,  // a minimised window back to its size; any other stays as it is
    };

    virtual ~AppWindow() = default;

    // Starts loading `address` (UTF-8) in the top frame.
    virtual void navigate(const std::string& address) = 0;
    virtual void showOfflinePage(const OfflinePage& page) = 0;
    // A page of one line of text (UTF-8) that needs nothing which could fail.
    virtual void showTextPage(const std::string& text) = 0;

    // True while the top frame holds a document that page calls reach.
    virtual bool hasDocument() const = 0;
    // Calls a global function of the page; the answer is never looked at. `done`, when given,
    // runs once the page has run the call or the call could not be made (perhaps before this
    // returns), never after the window has gone.
    virtual void callPage(const PageCall& call, std::function<void()> done = {}) = 0;

    virtual void show(Show how) = 0;
    // The yes/no question (ANSI text and title) over the window; waits for the answer, true for
    // Yes.
    virtual bool ask(const std::string& text, const std::string& title) = 0;
    // The system's dialog for a file to open or save, over the window; waits for the answer.
    virtual platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) = 0;

    // Repeating timers whose ticks go to WindowController::timer. Starting a running timer starts
    // it afresh; 0 ms ticks as soon as the event being handled has returned.
    virtual void startTimer(int id, unsigned intervalMs) = 0;
    virtual void stopTimer(int id) = 0;

    // The window's state and its last rectangle in the normal state.
    virtual WindowPlacement placement() = 0;
    // Hides the window and ends its message loop; the host then ends the program in its order.
    virtual void quit() = 0;
};
