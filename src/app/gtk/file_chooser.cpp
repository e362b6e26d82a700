#include "app/gtk/file_chooser.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "platform/codepage.h"
#include "platform/file_dialog.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"

namespace {

using platform::FileDialogRequest;

// Each extension in both letter cases: GTK's patterns heed case, the PC's file names do not.
GtkFileFilter* filterFor(const FileDialogRequest& request) {
    GtkFileFilter* filter = gtk_file_filter_new();
    std::string shown;
    for (const std::string& lower : platform::filterPatterns(request.extension)) {
        std::string upper = lower;
        for (char& c : upper)
            c = static_cast<char>(g_ascii_toupper(c));
        gtk_file_filter_add_pattern(filter, lower.c_str());
        gtk_file_filter_add_pattern(filter, upper.c_str());
        shown += (shown.empty() ? "" : ";") + lower;
    }
    gtk_file_filter_set_name(
        filter, (platform::ansiToUtf8(request.filterName) + " (" + shown + ")").c_str());
    return filter;
}

// A file name in the system's encoding as the dialog's answer. A name that is not even UTF-8 is
// no more reachable in GBK.
platform::FileDialogAnswer answerFor(const gchar* name) {
    gchar* utf8 = g_filename_to_utf8(name, -1, nullptr, nullptr, nullptr);
    platform::FileDialogAnswer answer =
        utf8 != nullptr
            ? platform::chosenPath(utf8::toUtf16(utf8))
            : platform::FileDialogAnswer{platform::FileDialogAnswer::Outcome::Unreachable, {}};
    g_free(utf8);
    return answer;
}

// Asks over the chooser whether the file at `path` (ANSI) may be replaced.
bool confirmReplace(GtkWindow* chooser, const std::string& path) {
    GtkWidget* question =
        gtk_message_dialog_new(chooser, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
                               "%s", platform::ansiToUtf8(platform::replaceQuestion(path)).c_str());
    gtk_dialog_add_buttons(GTK_DIALOG(question), "取消", GTK_RESPONSE_CANCEL, "替换(_R)",
                           GTK_RESPONSE_ACCEPT, nullptr);
    const bool replace = gtk_dialog_run(GTK_DIALOG(question)) == GTK_RESPONSE_ACCEPT;
    gtk_widget_destroy(question);
    return replace;
}

// The answer of an accepted chooser. A save's name without an extension gets the request's
// first, and the question whether to replace a file is asked of that completed name, which GTK's
// own question never saw; a No keeps the chooser open with the completed name in it.
std::optional<platform::FileDialogAnswer> acceptedAnswer(GtkFileChooser* chooser,
                                                         const FileDialogRequest& request) {
    gchar* name = gtk_file_chooser_get_filename(chooser);
    platform::FileDialogAnswer answer =
        name != nullptr ? answerFor(name) : platform::FileDialogAnswer{};
    g_free(name);
    if (request.kind != FileDialogRequest::Kind::Save ||
        answer.outcome != platform::FileDialogAnswer::Outcome::Chosen)
        return answer;
    answer.path = platform::withDefaultExtension(answer.path, request.extension);
    if (!platform::fileExists(answer.path) || confirmReplace(GTK_WINDOW(chooser), answer.path))
        return answer;
    size_t cut = platform::lastSeparator(answer.path);
    gtk_file_chooser_set_current_name(
        chooser,
        platform::ansiToUtf8(answer.path.substr(cut == std::string::npos ? 0 : cut + 1)).c_str());
    return std::nullopt;
}

}  // namespace

platform::FileDialogAnswer chooseFile(const FileDialogRequest& request, GtkWindow* parent) {
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        platform::ansiToUtf8(request.title).c_str(), parent,
        save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "取消",
        GTK_RESPONSE_CANCEL, save ? "保存" : "打开", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_file_chooser_add_filter(chooser, filterFor(request));
    if (save)
        gtk_file_chooser_set_current_name(chooser,
                                          platform::ansiToUtf8(request.suggestedName).c_str());
    std::optional<platform::FileDialogAnswer> answer;
    while (!answer) {
        if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT)
            answer = platform::FileDialogAnswer{};
        else
            answer = acceptedAnswer(chooser, request);
    }
    gtk_widget_destroy(dialog);
    return *answer;
}
