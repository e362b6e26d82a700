#include "app/gtk/host_window.h"

#include <functional>

#include "app/gtk/device_monitor.h"
#include "app/gtk/file_chooser.h"
#include "app/gtk/host_config.h"
#include "app/gtk/host_resources.h"
#include "app/gtk/offline_scheme.h"
#include "app/gtk/present_window.h"
#include "app/gtk/script_caller.h"
#include "app/gtk/script_dialogs.h"
#include "app/gtk/webkit_external.h"
#include "app/user_agent.h"
#include "build_config.h"
#include "platform/codepage.h"
#include "platform/startup_marks.h"

namespace {

constexpr const char* kTitle = "KorvelVantu－免费电子地图，路书随身行";
// How long a move or resize must stand before it counts as the normal rectangle: the window
// manager may report the maximised size before it reports the state change.
constexpr guint kSettleMs = 250;

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

HostWindow::HostWindow(WindowController::Parts parts, WebKitExternal& webExternal,
                       OfflineScheme& offline)
    : webExternal_(webExternal), offline_(offline), controller_(*this, std::move(parts)) {}

HostWindow::~HostWindow() {
    self_.reset();
    for (auto& [id, source] : timers_)
        g_source_remove(source);
    if (pendingRectTimer_ != 0) g_source_remove(pendingRectTimer_);
    deviceMonitor_.reset();
    if (window_ != nullptr) {
        // No handler of ours may run while the widgets go.
        g_signal_handlers_disconnect_by_data(window_, this);
        if (view_ != nullptr) g_signal_handlers_disconnect_by_data(view_, this);
        gtk_widget_destroy(window_);
    }
}

void HostWindow::initialise() {
    createWindow();
    createView();
    controller_.start();
    WindowRect rect = controller_.startPlacement();
    placement_.moved(rect, WindowState::Normal);
    gtk_window_move(GTK_WINDOW(window_), rect.left, rect.top);
    gtk_window_resize(GTK_WINDOW(window_), rect.width, rect.height);
    // Minimised until the controller shows it.
    gtk_window_iconify(GTK_WINDOW(window_));
    gtk_widget_show_all(window_);
}

// The drives are watched from the first page's end on, off the way to its first paint: the
// system's volume monitor may first ask its services over the session bus and wait for them. A
// change before then would call nothing: the page checks the drives itself when it starts.
void HostWindow::watchDevices() {
    if (deviceMonitor_) return;
    later([weak = std::weak_ptr<HostWindow*>(self_)] {
        auto alive = weak.lock();
        if (!alive || (*alive)->deviceMonitor_) return;
        HostWindow* host = *alive;
        host->deviceMonitor_ =
            std::make_unique<DeviceMonitor>([host] { host->controller_.deviceChanged(); });
    });
}

void HostWindow::createWindow() {
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
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
}

void HostWindow::createView() {
    WebKitUserContentManager* content = webExternal_.contentManager();
    WebKitUserStyleSheet* style = webkit_user_style_sheet_new(
        std::string(hostStyleSheet()).c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, style);
    webkit_user_style_sheet_unref(style);
    view_ = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", content, nullptr));
    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_user_agent_with_application_details(settings, kUserAgentName,
                                                            build_config::kVersion);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings,
                                                                hostConfig().consoleToStdout);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(onContextMenu), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(onButtonPress), this);
    useProgramScriptDialogs(view_, GTK_WINDOW(window_));
}

void HostWindow::present() {
    if (window_ != nullptr) presentWindow(GTK_WINDOW(window_));
}

// ---- AppWindow

void HostWindow::navigate(const std::string& address) {
    webkit_web_view_load_uri(view_, address.c_str());
}

void HostWindow::showOfflinePage(const OfflinePage& page) {
    // Shown from the bytes held here, never from what the folder holds afterwards.
    offline_.setPage(page.text, page.picture);
    webkit_web_view_load_uri(view_, kOfflinePageAddress);
}

void HostWindow::showTextPage(const std::string& text) {
    std::string html =
        "<html><head><meta charset=\"utf-8\"></head><body>" + text + "</body></html>";
    webkit_web_view_load_html(view_, html.c_str(), nullptr);
}

void HostWindow::callPage(const PageCall& call, std::function<void()> done) {
    if (done)
        done = [weak = std::weak_ptr<HostWindow*>(self_), done = std::move(done)] {
            if (weak.lock()) done();
        };
    callPageFunction(view_, call, std::move(done));
}

void HostWindow::show(Show how) {
    if (how == Show::First) {
        shown_ = true;
        gtk_window_deiconify(GTK_WINDOW(window_));
        gtk_window_present(GTK_WINDOW(window_));
    } else if (state_ == WindowState::Minimized) {
        gtk_window_deiconify(GTK_WINDOW(window_));
    }
}

bool HostWindow::ask(const std::string& text, const std::string& title) {
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO,
                               "%s", platform::ansiToUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), platform::ansiToUtf8(title).c_str());
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == GTK_RESPONSE_YES;
}

platform::FileDialogAnswer HostWindow::chooseFile(const platform::FileDialogRequest& request) {
    return ::chooseFile(request, GTK_WINDOW(window_));
}

void HostWindow::startTimer(int id, unsigned intervalMs) {
    stopTimer(id);
    struct Tick {
        HostWindow* host;
        int id;
    };
    guint source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, intervalMs,
        [](gpointer data) -> gboolean {
            auto* tick = static_cast<Tick*>(data);
            HostWindow* host = tick->host;
            int id = tick->id;
            guint self = g_source_get_id(g_main_current_source());
            host->controller_.timer(id);
            // The controller may have stopped or restarted this timer.
            auto it = host->timers_.find(id);
            return it != host->timers_.end() && it->second == self ? G_SOURCE_CONTINUE
                                                                   : G_SOURCE_REMOVE;
        },
        new Tick{this, id}, [](gpointer data) { delete static_cast<Tick*>(data); });
    timers_[id] = source;
}

void HostWindow::stopTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    guint source = it->second;
    timers_.erase(it);
    GSource* current = g_main_current_source();
    // A timer that stops itself ends by returning from its own tick.
    if (current == nullptr || g_source_get_id(current) != source) g_source_remove(source);
}

WindowPlacement HostWindow::placement() {
    if (state_ == WindowState::Normal) commitPendingRect();
    return {state_, placement_.lastNormal()};
}

void HostWindow::quit() {
    if (window_ != nullptr) gtk_widget_hide(window_);
    gtk_main_quit();
}

// ---- the window's events

gboolean HostWindow::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<HostWindow*>(self)->close();
    return TRUE;
}

gboolean HostWindow::onConfigure(GtkWidget*, GdkEvent*, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    if (host->state_ != WindowState::Normal) return FALSE;
    WindowRect rect;
    gtk_window_get_position(GTK_WINDOW(host->window_), &rect.left, &rect.top);
    gtk_window_get_size(GTK_WINDOW(host->window_), &rect.width, &rect.height);
    host->pendingRect_ = rect;
    if (host->pendingRectTimer_ != 0) g_source_remove(host->pendingRectTimer_);
    host->pendingRectTimer_ = g_timeout_add(
        kSettleMs,
        [](gpointer data) -> gboolean {
            auto* d = static_cast<HostWindow*>(data);
            d->pendingRectTimer_ = 0;
            d->placement_.moved(d->pendingRect_, d->state_);
            return G_SOURCE_REMOVE;
        },
        host);
    return FALSE;
}

void HostWindow::commitPendingRect() {
    if (pendingRectTimer_ == 0) return;
    g_source_remove(pendingRectTimer_);
    pendingRectTimer_ = 0;
    placement_.moved(pendingRect_, WindowState::Normal);
}

gboolean HostWindow::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    WindowState state = stateOf(event->new_window_state);
    if (state == host->state_) return FALSE;
    // A move that has not settled belongs to the change, not to the normal window.
    if (host->pendingRectTimer_ != 0) {
        g_source_remove(host->pendingRectTimer_);
        host->pendingRectTimer_ = 0;
    }
    // The window's own minimising at start is no change of the user's. GTK tells only now, with
    // the old state still standing here.
    if (host->shown_) host->controller_.stateChanging(state);
    host->state_ = state;
    return FALSE;
}

// ---- the view's events

void HostWindow::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    switch (event) {
        case WEBKIT_LOAD_STARTED:
            host->hasDocument_ = false;
            host->loadFailed_ = false;
            break;
        case WEBKIT_LOAD_COMMITTED:
            // The new document runs its scripts from here on; what its own calls post while it
            // is still loading must reach it.
            host->hasDocument_ = true;
            platform::startupMark("engine ready");
            break;
        case WEBKIT_LOAD_FINISHED:
            // The view tells only of the main frame's loads.
            if (!host->loadFailed_) host->controller_.documentReady();
            host->watchDevices();
            break;
        default:
            break;
    }
}

gboolean HostWindow::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error,
                                  gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    host->loadFailed_ = true;
    // A load replaced by another, or stopped by a decision of ours, is no failure.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        return FALSE;
    return host->controller_.navigationFailed(true) ? TRUE : FALSE;
}

gboolean HostWindow::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
        return host->errorAnswer(WEBKIT_RESPONSE_POLICY_DECISION(decision)) ? TRUE : FALSE;
    if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return FALSE;
    // Pages that open a window get the user's own browser.
    auto* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (uri != nullptr && (g_str_has_prefix(uri, "http://") || g_str_has_prefix(uri, "https://")))
        gtk_show_uri_on_window(GTK_WINDOW(host->window_), uri, GDK_CURRENT_TIME, nullptr);
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

// A server's error answer to the main document is a failed load, not a page to show.
bool HostWindow::errorAnswer(WebKitResponsePolicyDecision* decision) {
    if (!webkit_response_policy_decision_is_main_frame_main_resource(decision)) return false;
    WebKitURIResponse* answer = webkit_response_policy_decision_get_response(decision);
    if (webkit_uri_response_get_status_code(answer) < 400) return false;
    if (!controller_.navigationFailed(true)) return false;
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    return true;
}

gboolean HostWindow::onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                   WebKitHitTestResult*, gpointer) {
    // The page's own contextmenu event has fired already; the browser's menu never shows.
    return TRUE;
}

gboolean HostWindow::onButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->type == GDK_BUTTON_PRESS && event->button == GDK_BUTTON_SECONDARY) {
        // The press goes on to the page first: a page that opens its menu in onRButtonDown and
        // closes menus on its own mouse-down would otherwise close the new menu at once.
        auto* host = static_cast<HostWindow*>(self);
        auto x = static_cast<int>(event->x);
        auto y = static_cast<int>(event->y);
        later([weak = std::weak_ptr<HostWindow*>(host->self_), x, y] {
            if (auto alive = weak.lock()) (*alive)->controller_.rightButtonDown(x, y);
        });
    }
    return FALSE;
}
