#pragma once

// Makes the program's yes/no questions GTK message dialogs: no parent window, the information
// icon, Yes and No buttons. Called once at start-up, on the GTK thread.
void installQuestionDialog();
