#pragma once

// Makes the program's file dialogs (platform/file_dialog.h) GTK file choosers: modal, one filter
// for the files asked for, a save dialog that asks before it replaces a file. Called once at
// start-up, on the GTK thread.
void installFileChooser();
