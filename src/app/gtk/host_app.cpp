// The program: one window with the portal, answering the page's methods.

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/gtk/host_config.h"
#include "app/gtk/host_resources.h"
#include "app/gtk/host_window.h"
#include "app/gtk/offline_scheme.h"
#include "app/gtk/single_instance.h"
#include "app/gtk/webkit_external.h"
#include "app/gtk/window_sink.h"
#include "app/page_trust.h"
#include "app/start_page.h"
#include "bridge/external_object.h"
#include "bridge/program_methods.h"
#include "bridge/settings_store.h"
#include "build_config.h"
#include "platform/codepage.h"
#include "platform/http.h"
#include "platform/paths.h"
#include "platform/startup_marks.h"
#include "session/device_manager.h"
#include "update/update_check.h"

namespace {

std::string fileUri(const std::string& utf8Path) {
    gchar* uri = g_filename_to_uri(utf8Path.c_str(), nullptr, nullptr);
    std::string out = uri != nullptr ? uri : "";
    g_free(uri);
    return out;
}

std::string canonical(const std::string& utf8Path) {
    char* resolved = realpath(utf8Path.c_str(), nullptr);
    std::string out = resolved != nullptr ? resolved : utf8Path;
    std::free(resolved);
    return out;
}

// The bundled portal: beside the program in the build tree, or in the installed share folder.
// UTF-8, ending with '/'.
std::string bundledPortalFolder() {
    std::string folder = platform::ansiToUtf8(platform::programFolder());
    for (const std::string& candidate : {folder + "portal/", folder + "../share/vantu/portal/"}) {
        if (g_file_test((candidate + "index.html").c_str(), G_FILE_TEST_IS_REGULAR))
            return canonical(candidate) + "/";
    }
    return folder + "portal/";
}

void showStartFailure() {
    GtkWidget* box = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
        "KorvelVantu无法启动：网络组件初始化失败。\n请重新安装程序或重新启动电脑后再试。");
    gtk_window_set_title(GTK_WINDOW(box), "KorvelVantu");
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

constexpr const char* kUsage =
    "Usage: vantu [--help | --version]\n"
    "\n"
    "The navigator companion's window: the route book portal, the navigator's route books on a\n"
    "map, and the transfers between the PC, the portal and the navigator.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Settings (vantu.ini) and the page's text files live beside the program when its folder is\n"
    "writable, else in $XDG_CONFIG_HOME/vantu (~/.config/vantu).\n";

// The window takes no arguments; --help and --version answer on the terminal without opening it.
// Answers the exit status, or -1 when the window should start.
int answerArguments(int argc, char** argv) {
    if (argc < 2) return -1;
    const char* arg = argv[1];
    if (argc == 2 && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(arg, "--version") == 0) {
        std::printf("vantu %s\n", build_config::kVersion);
        return 0;
    }
    std::fprintf(stderr, "vantu: unknown argument '%s'\n\n%s", arg, kUsage);
    return 2;
}

// The build's pages; the bundled one where this program finds it.
StartPages startPages(const HostConfig& config) {
    return {config.startPage, config.altStartPage, fileUri(bundledPortalFolder() + "index.html")};
}

WebKitWebContext* webContext(const HostConfig& config) {
    WebKitWebContext* context = webkit_web_context_get_default();
    if (config.acceptAnyCertificate) {
        WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(context);
        webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_IGNORE);
    }
    return context;
}

// The window's main loop, with the ways in from outside: a later start and the end of the
// session. The seat's events come through the main context.
void runMainLoop(HostWindow& host, SingleInstance& instance) {
    host.initialise();
    instance.listen([&host] { host.present(); });
    // Ending the session closes the window as its close box does.
    auto closeWindow = [](gpointer d) -> gboolean {
        static_cast<HostWindow*>(d)->close();
        return G_SOURCE_CONTINUE;
    };
    guint term = g_unix_signal_add(SIGTERM, closeWindow, &host);
    guint interrupt = g_unix_signal_add(SIGINT, closeWindow, &host);
    gtk_main();
    g_source_remove(term);
    g_source_remove(interrupt);
    instance.listen({});
}

// The window from its first page to its end.
int runWindow(DeviceManager& device, WindowSeat& seat,
              std::unique_ptr<platform::NetworkSession>& network, SingleInstance& instance) {
    SettingsStore settings(SettingsStore::folderFor(platform::programFolder()));
    ProgramMethods methods(device);
    ExternalObject external(settings, methods);
    const HostConfig& config = hostConfig();
    StartPages pages = startPages(config);
    WebKitWebContext* context = webContext(config);
    WebKitExternal webExternal(context, external, PageTrust(pages, config.trustedOrigins));
    OfflineScheme offline(context);
    // The first link, after the single-instance check and off the window thread.
    watchRemoteLink(device, seat);
    BackgroundUpdate update(platform::programFile(), updateManifestUrl(), updatePublicKey(), seat);
    HostWindow host({settings, methods, device.connected, update, pages, offlinePicture(), seat},
                    webExternal, offline);
    runMainLoop(host, instance);
    // The end, in this order: the task thread (it may still be transferring), the network,
    // then the window.
    device.taskThread.finish();
    network.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int answered = answerArguments(argc, argv);
    if (answered >= 0) return answered;
    platform::startupMark("program running");
    // The navigator's objects post through it until the program ends: it is never freed.
    static auto* seat = new WindowSink;
    // Built before anything else: it loads the remote API library.
    DeviceManager device(*seat);
    // The desktop file names the window by this class.
    g_set_prgname("vantu");
    // The program reads no command-line arguments of its own, GTK's included.
    gtk_init(nullptr, nullptr);
    auto network = std::make_unique<platform::NetworkSession>();
    if (!network->started()) {
        showStartFailure();
        return 1;
    }
    SingleInstance instance(platform::programFile());
    if (!instance.claim()) return 0;
    return runWindow(device, *seat, network, instance);
}
