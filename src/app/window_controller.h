#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/app_window.h"
#include "app/placement.h"
#include "app/start_page.h"
#include "app/window_seat.h"
#include "bridge/external_methods.h"
#include "bridge/settings_store.h"
#include "update/update_check.h"

// Timers of the window.
inline constexpr int TIMER_DEVICE_RECHECK = 1;          // 3000 ms after a device change, no device
inline constexpr int TIMER_DEVICE_LATE = 2;             // 10000 ms after a recheck that found none
inline constexpr int TIMER_UPDATE_WITHOUT_PAGE = 1001;  // 10000 ms after start
inline constexpr int TIMER_OFFLINE_PAGE = 1002;         // 0 ms: out of the browser's event
inline constexpr int TIMER_EXIT_CALL = 1003;            // how long "onWinExit" may take
inline constexpr unsigned kDeviceRecheckMs = 3000;
inline constexpr unsigned kDeviceLateMs = 10000;
inline constexpr unsigned kUpdateWithoutPageMs = 10000;
inline constexpr unsigned kExitCallMs = 3000;

// A device change closer than this to the last handled one is passed on untouched.
inline constexpr uint32_t kDeviceChangeQuietMs = 5000;

// Every decision the program's window makes, written once for both hosts: what it loads first
// and when it falls back to the offline page, when it is first shown, when the update check
// starts, what device changes, task events and right clicks do to the page, what the program's
// questions and file dialogs are asked over, and what closing does. A host turns its toolkit's
// events into calls of this and carries out what the controller asks of its AppWindow; which
// documents may call the program is PageTrust's.
//
// Window thread only. Time comes from platform::clock().
class WindowController {
  public:
    struct Parts {
        const SettingsStore& settings;
        // The connection check and a fresh start of the remote link.
        ExternalMethods& methods;
        // The connection the last check found, read without touching the device.
        const int& connected;
        BackgroundUpdate& update;
        StartPages pages;
        std::string_view offlinePicture;
        // The program's seat, which hands this controller its events and questions while it
        // lives.
        WindowSeat& seat;
    };

    WindowController(AppWindow& window, Parts parts);
    ~WindowController();
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    // Where the window first stands: the stored rectangle, never maximised.
    WindowRect startPlacement() const;
    // The window exists: loads the first page.
    void start();

    // The browser is about to navigate a frame to `address` (UTF-8); true cancels it.
    bool beforeNavigate(std::string_view address);
    // A navigation failed; true when the browser's own error page must not show.
    bool navigationFailed(bool topFrame);
    // The top document has loaded, its inner frames included.
    void documentReady();

    // At a client position; the click always goes on to the page as well.
    void rightButtonDown(int x, int y);
    // Answers whether it took the event; one it did not take goes on to the window's own
    // handling.
    bool deviceChanged();
    // What other threads post through the seat: a task's status and progress, the link coming
    // up, the update check's. Answers whether it was taken.
    bool taskEvent(const TaskEvent& event);
    // The seat's questions and file dialogs, over the window.
    bool ask(const std::string& text, const std::string& title);
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request);
    // Ticks of timers that are not the controller's are not taken, nor device timer ticks
    // without a document (those timers keep running).
    bool timer(int id);
    // The user is minimising or maximising the window, or giving it back its size; the window
    // has not changed yet.
    void stateChanging(WindowState to);
    // The close box, the exit command, the end of the session or an update that replaces the
    // program.
    void close();

  private:
    enum class Fallback { None, Offline, Text };

    bool connectedOrFound();
    void deviceTimer(int id);
    bool deviceLinkUp();
    void queueFallback(Fallback what);
    void showFallback();
    void showTextPage();
    void finish();

    AppWindow& window_;
    Parts parts_;
    BackgroundUpdate& update_;
    uint32_t lastDeviceChangeTick_ = 0;
    // What the window shows in place of a page that failed, and what comes next.
    Fallback fallback_ = Fallback::None;
    Fallback queued_ = Fallback::None;
    bool navigated_ = false;
    bool shown_ = false;
    bool closing_ = false;
    bool finished_ = false;
};
