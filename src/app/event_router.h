#pragma once

#include <cstdint>

#include "app/page_messages.h"

// Timers of the main window.
inline constexpr int TIMER_DEVICE_RECHECK = 1;  // 3000 ms after a device change without a device
inline constexpr int TIMER_DEVICE_LATE = 2;     // 10000 ms after a recheck that found none
inline constexpr int TIMER_FLASH_SCAN = 1000;   // 100 ms, Windows only
inline constexpr unsigned kDeviceRecheckMs = 3000;
inline constexpr unsigned kDeviceLateMs = 10000;
inline constexpr unsigned kFlashScanMs = 100;

// A device change closer than this to the last handled one is passed on untouched.
inline constexpr uint32_t kDeviceChangeQuietMs = 5000;

// What the router needs from the window around it.
class RouterHost {
  public:
    virtual ~RouterHost() = default;
    // True while the browser holds a loaded document; page calls are made only then.
    virtual bool hasDocument() const = 0;
    // Fire and forget: the answer is never looked at.
    virtual void callPage(const PageCall& call) = 0;
    // Repeating timers; starting a running one starts it afresh.
    virtual void startTimer(int id, unsigned intervalMs) = 0;
    virtual void stopTimer(int id) = 0;
    // The cached connection flag, without touching the device.
    virtual bool isConnected() = 0;
    // Probes the device and refreshes the cached flag.
    virtual bool checkConnection() = 0;
    // A fresh try at the navigator's remote link, off the window thread; WM_DEVICE_LINK comes
    // when it is up.
    virtual void restartDeviceLink() = 0;
};

// Turns window events into page calls: task notifications into "kankan" and "currentLushu",
// device changes, the device timers and a remote link that came up into "PDALink", right clicks
// into "onRButtonDown".
// Each handler answers whether it took the event; one it did not take goes on to the window's
// default handling. Time comes from platform::clock().
class EventRouter {
  public:
    explicit EventRouter(RouterHost& host) : host_(host) {}

    // lParam packs the client position as Windows does: x in the low 16 bits, y in the high 16.
    // The click itself always goes on to the page, so this never takes it.
    void rightButtonDown(intptr_t lParam);
    bool deviceChanged();
    // The notifications posted to the window: WM_TASK_STATUS, WM_TASK_PROGRESS, WM_DEVICE_LINK.
    bool taskMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    // Ticks of timers other than the two device timers, and of those while there is no
    // document, are not taken (they keep running).
    bool timer(int id);

  private:
    bool deviceLinkUp();

    RouterHost& host_;
    uint32_t lastDeviceChangeTick_ = 0;
};

// A client position packed as a window message's lParam (MAKELPARAM): each coordinate
// truncated to an integer and kept to its low 16 bits.
intptr_t packClientPoint(double x, double y);
