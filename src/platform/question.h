#pragma once

#include <functional>
#include <string>

// The yes/no question box: no owner window, Yes and No buttons, the information icon. The host
// installs the handler that shows it (a message box on Windows, a message dialog under GTK);
// tests install their own answer.
namespace platform {

// Text and title are ANSI text; the handler answers true for Yes.
using QuestionHandler = std::function<bool(const std::string& text, const std::string& title)>;

// Replaces the handler; an empty one removes it. User-interface thread only.
void setQuestionHandler(QuestionHandler handler);

// Asks and waits for the answer. Without a handler nobody can answer: No.
bool askYesNo(const std::string& text, const std::string& title);

}  // namespace platform
