#include "app/gtk/present_window.h"

// Kept apart: the X11 headers define names (Bool, Status, ...) that clash with the program's.
#include <gdk/gdkx.h>

void presentWindow(GtkWindow* window) {
    gtk_window_deiconify(window);
    // A request from another process carries no user event; the X server's time lets the
    // window manager raise the window all the same.
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    if (gdkWindow != nullptr && GDK_IS_X11_WINDOW(gdkWindow))
        gtk_window_present_with_time(window, gdk_x11_get_server_time(gdkWindow));
    else
        gtk_window_present(window);
}
