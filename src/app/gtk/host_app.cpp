// The program: one window with the portal, answering the page's methods.

#include <curl/curl.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/gtk/host_config.h"
#include "app/gtk/host_dialog.h"
#include "app/gtk/main_loop_sink.h"
#include "app/gtk/question_dialog.h"
#include "app/gtk/single_instance.h"
#include "app/gtk/web_bridge.h"
#include "app/start_page.h"
#include "bridge/external_object.h"
#include "bridge/program_operations.h"
#include "bridge/settings_store.h"
#include "device/device_manager.h"
#include "platform/codepage.h"
#include "platform/paths.h"

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

// The folder pattern of a local page's address, or nothing for other addresses.
std::string localFolderPattern(const std::string& address) {
    if (!g_str_has_prefix(address.c_str(), "file://")) return {};
    std::string path = address.substr(0, address.find_first_of("?#"));
    return path.substr(0, path.rfind('/') + 1) + "*";
}

void showStartFailure() {
    GtkWidget* box = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
        "KorvelVantu无法启动：网络组件初始化失败。\n请重新安装程序或重新启动电脑后再试。");
    gtk_window_set_title(GTK_WINDOW(box), "KorvelVantu");
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

}  // namespace

int main() {
    // Built before anything else: it loads the remote API and tries a first link.
    DeviceManager device;

    // The program reads no command-line arguments of its own, GTK's included.
    gtk_init(nullptr, nullptr);
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        showStartFailure();
        return 1;
    }

    SingleInstance instance(platform::programFile());
    if (!instance.claim()) {
        curl_global_cleanup();
        return 0;
    }

    installQuestionDialog();
    SettingsStore settings(platform::programFolder());
    ProgramOperations operations(device);
    ExternalObject external(settings, operations);

    const HostConfig& config = hostConfig();
    std::string portal = bundledPortalFolder();
    StartPages pages{config.startPage, config.altStartPage, fileUri(portal + "index.html")};

    // The program's own local pages: the bundled portal and start pages that are local files.
    // The offline page needs no key and gets none.
    std::vector<std::string> localPages{fileUri(portal) + "*"};
    for (const std::string& page : {config.startPage, config.altStartPage}) {
        std::string pattern = localFolderPattern(page);
        if (!pattern.empty()) localPages.push_back(pattern);
    }

    WebKitWebContext* context = webkit_web_context_get_default();
    if (config.acceptAnyCertificate) {
        WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(context);
        webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_IGNORE);
    }
    WebBridge bridge(context, external,
                     OriginPolicy({config.startPage, config.altStartPage}, config.trustedOrigins),
                     localPages);

    // The worker's notifications outlive the window: a task still running when the window has
    // gone may post until the program ends.
    static auto* sink = new MainLoopSink;
    platform::setMessageSink(sink);

    {
        HostDialog dialog({device, settings, operations, bridge},
                          startPageAddress(settings, pages));
        dialog.initialise();
        instance.listen([&dialog] { dialog.present(); });
        sink->setReceiver([&dialog](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            dialog.taskMessage(message, wParam, lParam);
        });
        // Ending the session closes the window as its close box does.
        auto closeWindow = [](gpointer d) -> gboolean {
            static_cast<HostDialog*>(d)->close();
            return G_SOURCE_CONTINUE;
        };
        guint term = g_unix_signal_add(SIGTERM, closeWindow, &dialog);
        guint interrupt = g_unix_signal_add(SIGINT, closeWindow, &dialog);
        gtk_main();
        g_source_remove(term);
        g_source_remove(interrupt);
        sink->setReceiver({});
        instance.listen({});
    }
    curl_global_cleanup();
    return 0;
}
