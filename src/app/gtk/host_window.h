#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <string>

#include "app/event_router.h"
#include "app/placement.h"
#include "bridge/external_methods.h"
#include "bridge/settings_store.h"
#include "session/device_manager.h"
#include "update/update_check.h"

class DeviceMonitor;
class WebKitExternal;

// The program's one window: a web view showing the portal, sized and placed from vantu.ini,
// shown minimised until the first page has loaded. It routes task notifications, device changes
// and right clicks to the page, replaces failed loads with the offline page, and tells the page
// when it closes.
class HostWindow : public RouterHost {
  public:
    struct Parts {
        DeviceManager& device;
        const SettingsStore& settings;
        ExternalMethods& methods;
        WebKitExternal& webExternal;
    };

    // `startAddress` is the first page's address (UTF-8).
    HostWindow(Parts parts, std::string startAddress);
    ~HostWindow() override;
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Creates the window, starts loading the first page and shows the window minimised.
    void initialise();
    // A later start of the program asks for the window.
    void present();
    // The closing sequence: saves the placement, calls "onWinExit" and ends the main loop.
    void close();

    // Every message posted to the window: task and device link notifications and the update
    // check's.
    void taskMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void deviceChanged();

    // RouterHost
    bool hasDocument() const override { return hasDocument_; }
    void callPage(const PageCall& call) override;
    void startTimer(int id, unsigned intervalMs) override;
    void stopTimer(int id) override;
    bool isConnected() override;
    bool checkConnection() override;
    void restartDeviceLink() override;

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

    void navigationComplete();
    void showNormally();
    // The main frame failed to load `failedUri`: show the offline page, or the text page when
    // the offline page itself failed or cannot be written.
    void loadFailed(const std::string& failedUri);
    void showTextPage();
    void commitPendingRect();
    void finishClosing();

    DeviceManager& device_;
    const SettingsStore& settings_;
    ExternalMethods& methods_;
    WebKitExternal& webExternal_;
    std::string startAddress_;

    EventRouter router_{*this};
    PlacementTracker placement_;
    WindowState state_ = WindowState::Normal;
    WindowRect pendingRect_;
    guint pendingRectTimer_ = 0;
    guint exitTimer_ = 0;
    std::map<int, guint> timers_;
    // Closures that may run after the window has gone (script answers, deferred work) hold a
    // weak reference to this and do nothing once it has expired.
    std::shared_ptr<HostWindow*> self_ = std::make_shared<HostWindow*>(this);
    std::unique_ptr<DeviceMonitor> deviceMonitor_;
    BackgroundUpdate update_;

    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    bool hasDocument_ = false;
    bool loadFailed_ = false;
    bool shown_ = false;
    bool closing_ = false;
    bool finished_ = false;
};
