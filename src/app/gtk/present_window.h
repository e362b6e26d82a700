#pragma once

#include <gtk/gtk.h>

// Restores and raises the window at the request of another process.
void presentWindow(GtkWindow* window);
