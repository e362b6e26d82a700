#include "app/gtk/host_dialog.h"

#include <functional>

#include "app/gtk/device_monitor.h"
#include "app/gtk/host_config.h"
#include "app/gtk/host_resources.h"
#include "app/gtk/present_window.h"
#include "app/gtk/script_caller.h"
#include "app/gtk/web_bridge.h"
#include "app/offline_page.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/update_check.h"

namespace {

constexpr const char* kTitle = "KorvelVantu－免费电子地图，路书随身行";
// How long a move or resize must stand before it counts as the normal rectangle: the window
// manager may report the maximised size before it reports the state change.
constexpr guint kSettleMs = 250;
// The page gets this long to run "onWinExit" before the window goes regardless.
constexpr guint kExitCallMs = 3000;

WindowState stateOf(GdkWindowState state) {
    if (state & GDK_WINDOW_STATE_ICONIFIED) return WindowState::Minimized;
    if (state & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN))
        return WindowState::Maximized;
    return WindowState::Normal;
}

GdkPixbuf* iconPixbuf() {
    std::string_view gif = windowIcon();
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* pixbuf = nullptr;
    if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(gif.data()), gif.size(),
                                nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
        if (pixbuf != nullptr) g_object_ref(pixbuf);
    }
    g_object_unref(loader);
    return pixbuf;
}

// Runs `work` once from the main loop, outside the signal handler that asks for it.
void later(std::function<void()> work) {
    auto* job = new std::function<void()>(std::move(work));
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        job, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

}  // namespace

HostDialog::HostDialog(Parts parts, std::string startAddress)
    : device_(parts.device),
      settings_(parts.settings),
      operations_(parts.operations),
      bridge_(parts.bridge),
      startAddress_(std::move(startAddress)),
      placement_(parts.settings),
      update_(platform::programFile(), updateManifestUrl()) {}

HostDialog::~HostDialog() {
    for (auto& [id, source] : timers_)
        g_source_remove(source);
    if (pendingRectTimer_ != 0) g_source_remove(pendingRectTimer_);
    deviceMonitor_.reset();
    if (window_ != nullptr) gtk_widget_destroy(window_);
}

void HostDialog::initialise() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), kTitle);
    if (GdkPixbuf* icon = iconPixbuf()) {
        gtk_window_set_icon(GTK_WINDOW(window_), icon);
        g_object_unref(icon);
    }
    GdkGeometry hints{};
    hints.min_width = kMinTrackWidth;
    hints.min_height = kMinTrackHeight;
    gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &hints, GDK_HINT_MIN_SIZE);

    WebKitUserContentManager* content = bridge_.contentManager();
    WebKitUserStyleSheet* style = webkit_user_style_sheet_new(
        std::string(hostStyleSheet()).c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, style);
    webkit_user_style_sheet_unref(style);
    view_ = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", content, nullptr));
    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings,
                                                                hostConfig().consoleToStdout);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));

    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(onContextMenu), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(onButtonPress), this);

    webkit_web_view_load_uri(view_, startAddress_.c_str());

    WindowRect rect = startPlacement(settings_);
    placement_.moved(rect, WindowState::Normal);
    gtk_window_move(GTK_WINDOW(window_), rect.left, rect.top);
    gtk_window_resize(GTK_WINDOW(window_), rect.width, rect.height);
    gtk_window_iconify(GTK_WINDOW(window_));
    gtk_widget_show_all(window_);

    deviceMonitor_ = std::make_unique<DeviceMonitor>([this] { deviceChanged(); });
}

void HostDialog::present() {
    if (window_ != nullptr) presentWindow(GTK_WINDOW(window_));
}

void HostDialog::close() {
    if (closing_) return;
    closing_ = true;
    if (state_ == WindowState::Normal) commitPendingRect();
    placement_.closing(state_);
    if (!hasDocument_) {
        finishClosing();
        return;
    }
    ScriptCaller caller;
    caller.setDocument(G_OBJECT(view_));
    caller.call("onWinExit", {}, [this](bool) { finishClosing(); });
    g_timeout_add(
        kExitCallMs,
        [](gpointer self) -> gboolean {
            static_cast<HostDialog*>(self)->finishClosing();
            return G_SOURCE_REMOVE;
        },
        this);
}

void HostDialog::finishClosing() {
    if (finished_) return;
    finished_ = true;
    if (window_ != nullptr) gtk_widget_hide(window_);
    gtk_main_quit();
}

void HostDialog::taskMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    bool closeNow = false;
    if (update_.handleMessage(message, wParam, closeNow)) {
        if (closeNow) close();
        return;
    }
    router_.taskMessage(message, wParam, lParam);
}

void HostDialog::deviceChanged() {
    router_.deviceChanged();
}

void HostDialog::callPage(const PageCall& call) {
    ScriptCaller caller;
    if (caller.setDocument(G_OBJECT(view_))) caller.call(call.function, call.args);
}

void HostDialog::startTimer(int id, unsigned intervalMs) {
    stopTimer(id);
    struct Tick {
        HostDialog* dialog;
        int id;
    };
    auto* tick = new Tick{this, id};
    guint source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, intervalMs,
        [](gpointer data) -> gboolean {
            auto* t = static_cast<Tick*>(data);
            HostDialog* dialog = t->dialog;
            int timerId = t->id;
            guint self = g_source_get_id(g_main_current_source());
            dialog->router_.timer(timerId);
            // The handler may have stopped or restarted this timer.
            auto it = dialog->timers_.find(timerId);
            return it != dialog->timers_.end() && it->second == self ? G_SOURCE_CONTINUE
                                                                     : G_SOURCE_REMOVE;
        },
        tick, [](gpointer data) { delete static_cast<Tick*>(data); });
    timers_[id] = source;
}

void HostDialog::stopTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    guint source = it->second;
    timers_.erase(it);
    GSource* current = g_main_current_source();
    // A timer that stops itself ends by returning from its own tick.
    if (current == nullptr || g_source_get_id(current) != source) g_source_remove(source);
}

bool HostDialog::isConnected() {
    return device_.connected != 0;
}

bool HostDialog::checkConnection() {
    return operations_.checkConnection() != 0;
}

gboolean HostDialog::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<HostDialog*>(self)->close();
    return TRUE;
}

gboolean HostDialog::onConfigure(GtkWidget*, GdkEvent*, gpointer self) {
    auto* dialog = static_cast<HostDialog*>(self);
    WindowRect rect;
    gtk_window_get_position(GTK_WINDOW(dialog->window_), &rect.left, &rect.top);
    gtk_window_get_size(GTK_WINDOW(dialog->window_), &rect.width, &rect.height);
    if (dialog->state_ != WindowState::Normal) return FALSE;
    dialog->pendingRect_ = rect;
    if (dialog->pendingRectTimer_ != 0) g_source_remove(dialog->pendingRectTimer_);
    dialog->pendingRectTimer_ = g_timeout_add(
        kSettleMs,
        [](gpointer data) -> gboolean {
            auto* d = static_cast<HostDialog*>(data);
            d->pendingRectTimer_ = 0;
            d->placement_.moved(d->pendingRect_, d->state_);
            return G_SOURCE_REMOVE;
        },
        dialog);
    return FALSE;
}

void HostDialog::commitPendingRect() {
    if (pendingRectTimer_ == 0) return;
    g_source_remove(pendingRectTimer_);
    pendingRectTimer_ = 0;
    placement_.moved(pendingRect_, WindowState::Normal);
}

gboolean HostDialog::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    auto* dialog = static_cast<HostDialog*>(self);
    WindowState state = stateOf(event->new_window_state);
    if (state == dialog->state_) return FALSE;
    // A move that has not settled belongs to the change, not to the normal window.
    if (dialog->pendingRectTimer_ != 0) {
        g_source_remove(dialog->pendingRectTimer_);
        dialog->pendingRectTimer_ = 0;
    }
    // The window's own minimising at start saves nothing.
    if (dialog->shown_) dialog->placement_.stateChanged(dialog->state_, state);
    dialog->state_ = state;
    return FALSE;
}

void HostDialog::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    auto* dialog = static_cast<HostDialog*>(self);
    switch (event) {
        case WEBKIT_LOAD_STARTED:
            dialog->hasDocument_ = false;
            dialog->loadFailed_ = false;
            break;
        case WEBKIT_LOAD_COMMITTED:
            // The new document runs its scripts from here on; what its own calls post while it
            // is still loading must reach it.
            dialog->hasDocument_ = true;
            break;
        case WEBKIT_LOAD_FINISHED:
            if (!dialog->loadFailed_) dialog->navigationComplete();
            break;
        default:
            break;
    }
}

void HostDialog::navigationComplete() {
    // The check runs on its own thread and comes back through taskMessage; the window never
    // waits for it. An updater copy only hands over and closes, so its window stays minimised.
    update_.start();
    if (!update_.isUpdaterCopy()) showNormally();
}

void HostDialog::showNormally() {
    if (!shown_) {
        shown_ = true;
        gtk_window_deiconify(GTK_WINDOW(window_));
        gtk_window_present(GTK_WINDOW(window_));
        return;
    }
    if (state_ == WindowState::Minimized) gtk_window_deiconify(GTK_WINDOW(window_));
}

gboolean HostDialog::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                  gpointer self) {
    auto* dialog = static_cast<HostDialog*>(self);
    dialog->loadFailed_ = true;
    // A load replaced by another, or stopped by a decision of ours, is no failure.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        return FALSE;
    std::string failed = uri != nullptr ? uri : "";
    later([dialog, failed] { dialog->loadFailed(failed); });
    return TRUE;
}

gboolean HostDialog::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type, gpointer self) {
    auto* dialog = static_cast<HostDialog*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        // Pages that open a window get the user's own browser.
        auto* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (uri != nullptr &&
            (g_str_has_prefix(uri, "http://") || g_str_has_prefix(uri, "https://")))
            gtk_show_uri_on_window(GTK_WINDOW(dialog->window_), uri, GDK_CURRENT_TIME, nullptr);
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) return FALSE;
    WebKitURIResponse* answer = webkit_response_policy_decision_get_response(response);
    if (webkit_uri_response_get_status_code(answer) < 400) return FALSE;
    // An error answer of the server: the offline page, not the server's error page.
    const char* uri = webkit_uri_response_get_uri(answer);
    std::string failed = uri != nullptr ? uri : "";
    webkit_policy_decision_ignore(decision);
    later([dialog, failed] { dialog->loadFailed(failed); });
    return TRUE;
}

void HostDialog::loadFailed(const std::string& failedUri) {
    if (closing_) return;
    // The text page needs nothing that could fail; if even it fails there is nothing left.
    if (failedUri == "about:blank") return;
    if (failedUri == kOfflinePageAddress) {
        showTextPage();
        return;
    }
    if (buildOfflinePage(platform::privateFolder(), offlinePicture()) == offlineFallbackAddress()) {
        showTextPage();
        return;
    }
    // Shown from the bytes held here, never from what the folder holds afterwards.
    bridge_.setOfflinePage(offlinePageText(), std::string(offlinePicture()));
    webkit_web_view_load_uri(view_, kOfflinePageAddress);
}

void HostDialog::showTextPage() {
    std::string text = platform::ansiToUtf8(offlineFallbackAddress());
    text.erase(0, text.find(':') + 1);
    std::string html =
        "<html><head><meta charset=\"utf-8\"></head><body>" + text + "</body></html>";
    webkit_web_view_load_html(view_, html.c_str(), nullptr);
}

gboolean HostDialog::onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                   WebKitHitTestResult*, gpointer) {
    // The page's own contextmenu event has fired already; the browser's menu never shows.
    return TRUE;
}

gboolean HostDialog::onButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->type == GDK_BUTTON_PRESS && event->button == GDK_BUTTON_SECONDARY)
        static_cast<HostDialog*>(self)->router_.rightButtonDown(
            packClientPoint(event->x, event->y));
    // The press goes on to the page.
    return FALSE;
}
