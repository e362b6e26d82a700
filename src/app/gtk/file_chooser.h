#pragma once

#include <gtk/gtk.h>

#include "platform/file_dialog.h"

// The program's file dialogs (platform/file_dialog.h) as GTK file choosers: modal over `parent`,
// one filter for the files asked for, a save dialog that completes a name typed without its
// extension and asks before it replaces a file at the completed name.
platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request,
                                      GtkWindow* parent);
