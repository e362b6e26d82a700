#include "app/gtk/script_dialogs.h"

namespace {

constexpr const char* kDialogTitle = "KorvelVantu";

void addButtons(GtkWidget* dialog, WebKitScriptDialogType type) {
    if (type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "留在此页", GTK_RESPONSE_CANCEL, "离开此页",
                               GTK_RESPONSE_OK, nullptr);
    } else if (type != WEBKIT_SCRIPT_DIALOG_ALERT) {
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "取消", GTK_RESPONSE_CANCEL, "确定",
                               GTK_RESPONSE_OK, nullptr);
    } else {
        gtk_dialog_add_button(GTK_DIALOG(dialog), "确定", GTK_RESPONSE_OK);
    }
}

GtkWidget* addPromptEntry(GtkWidget* dialog, WebKitScriptDialog* request) {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), webkit_script_dialog_prompt_get_default_text(request));
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    gtk_container_add(GTK_CONTAINER(area), entry);
    gtk_widget_show(entry);
    return entry;
}

gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* request, gpointer parent) {
    WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(request);
    bool question = type != WEBKIT_SCRIPT_DIALOG_ALERT;
    GtkWidget* dialog = gtk_message_dialog_new(
        GTK_WINDOW(parent),
        static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        question ? GTK_MESSAGE_QUESTION : GTK_MESSAGE_INFO, GTK_BUTTONS_NONE, "%s",
        webkit_script_dialog_get_message(request));
    gtk_window_set_title(GTK_WINDOW(dialog), kDialogTitle);
    addButtons(dialog, type);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    GtkWidget* entry =
        type == WEBKIT_SCRIPT_DIALOG_PROMPT ? addPromptEntry(dialog, request) : nullptr;
    bool confirmed = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
    switch (type) {
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            webkit_script_dialog_confirm_set_confirmed(request, confirmed);
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            // A cancelled prompt answers null, as in any browser.
            if (confirmed)
                webkit_script_dialog_prompt_set_text(request, gtk_entry_get_text(GTK_ENTRY(entry)));
            break;
        default:
            break;
    }
    gtk_widget_destroy(dialog);
    return TRUE;
}

}  // namespace

void useProgramScriptDialogs(WebKitWebView* view, GtkWindow* parent) {
    g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), parent);
}
