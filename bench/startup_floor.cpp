// The floor of the window's start: the engine alone, in a bare GTK window of the program's first
// size, showing a page that needs nothing of the program. The page ends with a script that posts
// "listed" to this program two frames after it was parsed; this program then prints the
// monotonic clock in milliseconds ("listed T") and ends. startup_bench.py runs it beside the
// program.
//
//   startup_floor FILE-ADDRESS [WIDTH HEIGHT]

#include <gtk/gtk.h>
#include <time.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>

namespace {

double monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

void listed(WebKitUserContentManager*, gpointer, gpointer) {
    std::printf("listed %.1f\n", monotonicMs());
    std::fflush(stdout);
    gtk_main_quit();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: startup_floor FILE-ADDRESS [WIDTH HEIGHT]\n");
        return 2;
    }
    gtk_init(nullptr, nullptr);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), argc == 4 ? std::atoi(argv[2]) : 880,
                                argc == 4 ? std::atoi(argv[3]) : 562);
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    g_signal_connect(content, "script-message-received::listed", G_CALLBACK(listed), nullptr);
    webkit_user_content_manager_register_script_message_handler(content, "listed");
    GtkWidget* view =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", content, nullptr));
    gtk_container_add(GTK_CONTAINER(window), view);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
