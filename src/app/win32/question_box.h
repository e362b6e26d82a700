#pragma once

// Answers platform::askYesNo with a message box: no owner window, Yes and No, the information
// icon.
void installQuestionBox();
