#pragma once

#include <string>
#include <string_view>
#include <vector>

// The system's own dialog for opening or saving a file, as the core asks its seat for it
// (common/seat.h). The page never names a path on the PC: it asks the program, which asks the
// user. The hosts show the dialog (a GTK file chooser, the Windows common dialog); vantu-cli
// answers from its command line.
namespace platform {

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;          // ANSI
    std::string filterName;     // ANSI, what the files are ("GPX 文件")
    std::string extension;      // without the dot: "zip", "gpx"; an open dialog's may list
                                // several, the files of either shown: "zip;gpx"
    std::string suggestedName;  // ANSI; the file name a save dialog offers
};

struct FileDialogAnswer {
    enum class Outcome {
        Chosen,
        Cancelled,
        // The user chose a path that ANSI text cannot hold: any ANSI form of it would name
        // another file.
        Unreachable,
    };
    Outcome outcome = Outcome::Cancelled;
    std::string path;  // ANSI, when chosen
};

// A request's extensions as the dialog's patterns: "zip;gpx" gives *.zip and *.gpx.
std::vector<std::string> filterPatterns(const std::string& extension);

// `path` with "." + `extension` added when its file name has no extension (no dot), as a save
// dialog completes a name typed without one.
std::string withDefaultExtension(const std::string& path, const std::string& extension);

// The question asked before a save replaces the file at `path` (ANSI).
std::string replaceQuestion(const std::string& path);

// The answer for a path the system hands over in UTF-16: chosen when ANSI text holds it
// exactly, else unreachable.
FileDialogAnswer chosenPath(std::u16string_view path);

}  // namespace platform
