#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "common/seat.h"
#include "platform/file_dialog.h"

// What the program's methods for files on the PC answer the page (bridge/pc_files.h describes
// the element), and the system's dialog they ask the user in. Shared by those methods and the
// route book editor's.

struct PcFileOutcome {
    const char* status;
    std::string file;     // ANSI
    std::string name;     // ANSI
    std::string message;  // UTF-8
    size_t dropped = 0;
};

// <pcfile status="S" file="F" name="N" dropped="D">message</pcfile>
std::string pcFileAnswer(const PcFileOutcome& outcome);
std::string pcFileRefused(const std::string& file, const std::string& message);
// The same for a file the system would not write or read: its cause goes to the log, once, with
// the file as its context.
std::string pcFileRefused(const std::string& file, const std::string& message,
                          platform::OsError error);

// The file name without its folder; without folder and extension.
std::string fileNameOf(const std::string& path);
std::string baseNameOf(const std::string& path);
// The file name's extension without the dot, its ASCII letters in lower case: "gpx", or "".
std::string extensionOf(const std::string& path);
// An ANSI name in the page's quotation marks, as UTF-8.
std::string quoted(const std::string& ansi);

// The user's answer to the dialog, or nothing, with `outcome` the answer that ends the method
// (cancelled, or refused for a path the code page cannot write).
std::optional<std::string> askForPcFile(Seat& seat, const platform::FileDialogRequest& request,
                                        std::string& outcome);
// A file to open: the dialog's title and what its files are (UTF-8), their extension.
std::optional<std::string> chooseToOpen(Seat& seat, const char* title, const char* what,
                                        const char* extension, std::string& outcome);
