#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/event_router.h"
#include "app/win32/browser_site.h"
#include "bridge/external_methods.h"
#include "bridge/settings_store.h"
#include "update/update_check.h"

// The page in the window, as the window's logic sees it. The browser's own is used unless a test
// puts another in its place.
class PagePort {
  public:
    virtual ~PagePort() = default;
    virtual bool hasDocument() = 0;
    // Fire and forget.
    virtual void call(const PageCall& call) = 0;
};

// Calls a function of the page through the document's script object; the answer is ignored.
using ScriptCall = std::function<void(IDispatch* document, const PageCall& call)>;

// The program's one window: a dialog from the program's resources whose whole client area is the
// WebBrowser control. It is placed from vantu.ini and shown minimised until the first page has
// loaded; it routes task notifications, device changes, timers and right clicks to the page,
// replaces the browser's error pages with the offline page, keeps Enter and Esc from closing it,
// tells the page when it closes, and keeps its size on the screen when it moves to a monitor of
// another DPI.
class HostDialog : public RouterHost, private BrowserEvents {
  public:
    struct Parts {
        // The device link's cached connection flag.
        const int& connected;
        // The connection check.
        ExternalMethods& methods;
        const SettingsStore& settings;
        ExternalMaker externals;
        ScriptCall scriptCall;
        // The first page's address (UTF-8).
        std::string startAddress;
        std::string manifestUrl;
    };

    explicit HostDialog(Parts parts);
    ~HostDialog() override;
    HostDialog(const HostDialog&) = delete;
    HostDialog& operator=(const HostDialog&) = delete;

    // Creates the window from its resources, starts loading the first page and shows the window
    // minimised. False when the window cannot be made.
    bool create(HINSTANCE instance);
    // Runs the thread's messages through the pre-filter until the window has ended.
    void run();
    // Runs the messages waiting now (tests).
    void runPending();
    bool ended() const { return ended_; }
    HWND window() const { return window_; }
    // The closing sequence: saves the placement, calls "onWinExit" and ends the window.
    void close();

    // Tests put a page of their own in place of the browser's; null goes back to the browser's.
    void usePage(PagePort* page) { page_ = page != nullptr ? page : &browserPage_; }

    // The pre-filter for every message taken from the queue for the window and its descendants.
    // True when the message has been handled and must not be dispatched.
    bool preTranslate(MSG& message);

    // RouterHost
    bool hasDocument() const override { return page_->hasDocument(); }
    void callPage(const PageCall& call) override;
    void startTimer(int id, unsigned intervalMs) override;
    void stopTimer(int id) override;
    bool isConnected() override;
    bool checkConnection() override;
    void restartDeviceLink() override;

  private:
    class BrowserPage : public PagePort {
      public:
        explicit BrowserPage(HostDialog& host) : host_(host) {}
        bool hasDocument() override;
        void call(const PageCall& call) override;

      private:
        HostDialog& host_;
    };

    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialise();
    void placeAtStart();
    void savePlacement();
    void resizeBrowser();
    bool paintMinimised();
    void timer(int id);
    bool defaultPreTranslate(MSG& message);

    // BrowserEvents
    bool beforeNavigate(std::u16string_view address) override;
    void navigateComplete(bool topFrame, std::u16string_view address) override;
    bool navigateError(bool topFrame, std::u16string_view address) override;
    void showOfflinePage();
    void navigate(const std::u16string& address);

    const int& connected_;
    ExternalMethods& methods_;
    const SettingsStore& settings_;
    ScriptCall scriptCall_;
    std::string startAddress_;

    EventRouter router_{*this};
    BrowserPage browserPage_{*this};
    PagePort* page_ = &browserPage_;
    ComRef<BrowserSite> site_;
    BackgroundUpdate update_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    // Of the window's monitor; the minimum size follows it.
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    bool shown_ = false;
    // A navigation has completed: the update check no longer waits for one.
    bool navigated_ = false;
    bool closing_ = false;
    bool ended_ = false;
    // The offline page, or the text page after it, is on its way.
    bool offlinePending_ = false;
    bool textPagePending_ = false;
};
