#pragma once

#include <functional>
#include <string>
#include <string_view>

// The system's own dialog for opening or saving a file. The page never names a path on the PC:
// it asks the program, which asks the user here. The host installs the dialog (a GTK file
// chooser, the Windows common dialog); vantu-cli answers from its command line; tests install
// their own answer.
namespace platform {

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;          // ANSI
    std::string filterName;     // ANSI, what the files are ("GPX 文件")
    std::string extension;      // without the dot: "zip", "gpx"
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

using FileDialogHandler = std::function<FileDialogAnswer(const FileDialogRequest& request)>;

// Replaces the handler; an empty one removes it. User-interface thread only.
void setFileDialogHandler(FileDialogHandler handler);

// Asks and waits for the answer. Without a handler nobody can answer: Cancelled. A save
// dialog's answer without an extension gets the request's; when that changes it and a file
// stands at the completed name, the user is asked (platform/question.h) whether to replace it,
// since the dialog could only have asked about the name as typed: No cancels.
FileDialogAnswer askForFile(const FileDialogRequest& request);

// `path` with "." + `extension` added when its file name has no extension (no dot), as a save
// dialog completes a name typed without one.
std::string withDefaultExtension(const std::string& path, const std::string& extension);

// The question asked before a save replaces the file at `path` (ANSI).
std::string replaceQuestion(const std::string& path);

// The answer for a path the system hands over in UTF-16: chosen when ANSI text holds it
// exactly, else unreachable.
FileDialogAnswer chosenPath(std::u16string_view path);

}  // namespace platform
