#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include "platform/file_dialog.h"

// One of the program's file dialogs (platform/file_dialog.h) as the system's common dialog,
// GetOpenFileNameW or GetSaveFileNameW, owned by `owner`: the path comes back in UTF-16 and is
// kept only when the ANSI code page holds it exactly. `hook` (may be null) is the dialog's hook
// procedure: tests answer the dialog through it.
platform::FileDialogAnswer runFileDialog(const platform::FileDialogRequest& request, HWND owner,
                                         LPOFNHOOKPROC hook);
