#pragma once

#include <gtk/gtk.h>

#include "platform/file_dialog.h"

// The program's file dialogs (platform/file_dialog.h) as GTK file choosers: modal over `parent`,
// one filter for the files asked for, a save dialog that asks before it replaces a file.
platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request,
                                      GtkWindow* parent);
