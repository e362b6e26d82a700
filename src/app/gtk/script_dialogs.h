#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

// The page's alert, confirm and prompt boxes as the program's own dialogs: titled with the
// program's name and with Chinese buttons, instead of the browser's boxes titled with the page's
// address.
void useProgramScriptDialogs(WebKitWebView* view, GtkWindow* parent);
