#include "app/win32/question_box.h"

#include <windows.h>

#include "platform/question.h"

void installQuestionBox() {
    platform::setQuestionHandler([](const std::string& text, const std::string& title) {
        return MessageBoxA(nullptr, text.c_str(), title.c_str(),
                           MB_YESNO | MB_ICONINFORMATION | MB_SETFOREGROUND) == IDYES;
    });
}
