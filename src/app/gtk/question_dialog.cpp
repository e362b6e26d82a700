#include "app/gtk/question_dialog.h"

#include <gtk/gtk.h>

#include <string>

#include "platform/codepage.h"
#include "platform/question.h"

void installQuestionDialog() {
    platform::setQuestionHandler([](const std::string& text, const std::string& title) {
        GtkWidget* dialog =
            gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO,
                                   "%s", platform::ansiToUtf8(text).c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), platform::ansiToUtf8(title).c_str());
        gint response = gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
        return response == GTK_RESPONSE_YES;
    });
}
