#pragma once

#include <windows.h>

#include <string>

#include "app/app_window.h"
#include "app/win32/browser_site.h"
#include "app/window_controller.h"

// The plug-in player's windows are looked for every 100 ms until one is found.
inline constexpr int TIMER_FLASH_SCAN = 1000;
inline constexpr unsigned kFlashScanMs = 100;

// The page in the window, as the window sees it. The browser's own is used unless a test puts
// another in its place.
class PagePort {
  public:
    virtual ~PagePort() = default;
    virtual bool hasDocument() = 0;
    // Fire and forget.
    virtual void call(const PageCall& call) = 0;
    // The page's zoom in percent.
    virtual void zoom(int percent) = 0;
};

// The program's one window on Windows: a dialog from the program's resources whose whole client
// area is the WebBrowser control. It carries out what its WindowController asks
// (app/app_window.h) and hands the controller the events of the window and the browser. Its own
// are the system's details: the dialog and its icons, the pre-filter that keeps Enter and Esc
// from closing it and sends Enter to the browser, the browser's size, the plug-in player's
// menus, and its size on the screen and its page's zoom when it moves to a monitor of another
// DPI.
class HostWindow : public AppWindow, public BrowserEvents {
  public:
    HostWindow(WindowController::Parts parts, ExternalMaker externals);
    ~HostWindow() override;
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Creates the window from its resources, starts loading the first page and shows the window
    // minimised. False when the window cannot be made.
    bool create(HINSTANCE instance);
    // Runs the thread's messages through the pre-filter until the window has ended.
    void run();
    // Runs the messages waiting now (tests).
    void runPending();
    bool ended() const { return ended_; }
    HWND window() const { return window_; }

    // Tests put a page of their own in place of the browser's; null goes back to the browser's.
    void usePage(PagePort* page) { page_ = page != nullptr ? page : &browserPage_; }

    // The pre-filter for every message taken from the queue for the window and its descendants.
    // True when the message has been handled and must not be dispatched.
    bool preTranslate(MSG& message);

    // AppWindow
    void navigate(const std::string& address) override;
    void showOfflinePage(const OfflinePage& page) override;
    void showTextPage(const std::string& text) override;
    bool hasDocument() const override { return page_->hasDocument(); }
    void callPage(const PageCall& call, std::function<void()> done) override;
    void show(Show how) override;
    bool ask(const std::string& text, const std::string& title) override;
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) override;
    void startTimer(int id, unsigned intervalMs) override;
    void stopTimer(int id) override;
    WindowPlacement placement() override;
    void quit() override;

    // BrowserEvents
    bool beforeNavigate(std::u16string_view address) override;
    void documentComplete(bool topFrame) override;
    bool navigateError(bool topFrame, std::u16string_view address) override;

  private:
    class BrowserPage : public PagePort {
      public:
        explicit BrowserPage(HostWindow& host) : host_(host) {}
        bool hasDocument() override;
        void call(const PageCall& call) override;
        void zoom(int percent) override;

      private:
        HostWindow& host_;
    };

    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool command(WORD id);
    bool deviceChanged();
    void timer(int id);
    void initialise();
    void placeAtStart();
    void resizeBrowser();
    bool paintMinimised();
    void limitSize(MINMAXINFO& limits) const;
    void followDpi(UINT dpi, const RECT& suggested);
    void zoomToDpi();
    void navigateTo(const std::u16string& address);

    WindowController controller_;
    BrowserPage browserPage_{*this};
    PagePort* page_ = &browserPage_;
    ComRef<BrowserSite> site_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    // Of the window's monitor; the minimum size follows it.
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    bool ended_ = false;
};
