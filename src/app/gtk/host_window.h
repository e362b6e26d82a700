#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <string>

#include "app/app_window.h"
#include "app/placement.h"
#include "app/window_controller.h"

class DeviceMonitor;
class OfflineScheme;
class WebKitExternal;

// The program's one window on GTK: a web view showing the portal. It carries out what its
// WindowController asks (app/app_window.h) and hands the controller the events of the window,
// the view and the drives. Its own are the toolkit's details: the widgets, the view's settings
// and scripts, the last normal rectangle (GTK tells of minimising and maximising only after the
// fact), and pages that open a window going to the user's browser.
class HostWindow : public AppWindow {
  public:
    HostWindow(WindowController::Parts parts, WebKitExternal& webExternal, OfflineScheme& offline);
    ~HostWindow() override;
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Creates the window, starts loading the first page and shows the window minimised; the
    // drives are watched once a page has loaded.
    void initialise();
    // A later start of the program asks for the window.
    void present();
    void close() { controller_.close(); }

    // AppWindow
    void navigate(const std::string& address) override;
    void showOfflinePage(const OfflinePage& page) override;
    void showTextPage(const std::string& text) override;
    bool hasDocument() const override { return hasDocument_; }
    void callPage(const PageCall& call, std::function<void()> done) override;
    void show(Show how) override;
    bool ask(const std::string& text, const std::string& title) override;
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) override;
    void startTimer(int id, unsigned intervalMs) override;
    void stopTimer(int id) override;
    WindowPlacement placement() override;
    void quit() override;

  private:
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onConfigure(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                 gpointer self);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer self);
    static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                  WebKitHitTestResult*, gpointer);
    static gboolean onButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);

    void createWindow();
    void createView();
    void watchDevices();
    bool errorAnswer(WebKitResponsePolicyDecision* decision);
    void commitPendingRect();

    WebKitExternal& webExternal_;
    OfflineScheme& offline_;
    WindowController controller_;
    PlacementTracker placement_;
    WindowState state_ = WindowState::Normal;
    WindowRect pendingRect_;
    guint pendingRectTimer_ = 0;
    std::map<int, guint> timers_;
    // Closures that may run after the window has gone (script answers, deferred work) hold a
    // weak reference to this and do nothing once it has expired.
    std::shared_ptr<HostWindow*> self_ = std::make_shared<HostWindow*>(this);
    std::unique_ptr<DeviceMonitor> deviceMonitor_;

    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    bool hasDocument_ = false;
    bool loadFailed_ = false;
    // Shown by the controller: from then on a change of state is the user's.
    bool shown_ = false;
};
