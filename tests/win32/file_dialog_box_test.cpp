// The system's common dialogs as the program's file dialog, answered through their hook as a
// user would answer them: a name typed into the dialog's box and OK or Cancel pressed.

#include "app/win32/file_dialog_box.h"

#include <gtest/gtest.h>
// After windows.h, which it needs.
#include <dlgs.h>

#include <string>

#include "platform/codepage.h"
#include "support/temp_dir.h"

namespace {

using platform::FileDialogAnswer;
using platform::FileDialogRequest;

// What the hook types, or nothing for Cancel.
std::wstring typed;
bool cancel = false;

UINT_PTR CALLBACK answerDialog(HWND child, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY || reinterpret_cast<NMHDR*>(lParam)->code != CDN_INITDONE) return 0;
    HWND dialog = GetParent(child);
    if (!cancel) {
        // The name box is a combo box in the newer layout and an edit box in the older one.
        SetDlgItemTextW(dialog, cmb13, typed.c_str());
        SetDlgItemTextW(dialog, edt1, typed.c_str());
    }
    PostMessageW(dialog, WM_COMMAND, cancel ? IDCANCEL : IDOK, 0);
    return 0;
}

std::wstring wide(const std::string& ansi) {
    std::u16string text = platform::ansiToUtf16(ansi);
    return std::wstring(text.begin(), text.end());
}

TEST(FileDialogBox, AnswersThePathTheUserChoseWhenTheCodePageHoldsIt) {
    TempDir dir;
    const std::string chinese = dir.file("\xB1\xB1\xBE\xA9.zip");  // 北京.zip
    writeFileBytes(chinese, "PK");
    // A name the code page cannot hold (Thai), which no ANSI text reaches. (wine's open dialog
    // cannot find such a file; the save dialog, which needs none, is given it.)
    const std::wstring thai = wide(dir.path()) + L"\\\x0E01";
    const FileDialogRequest open{FileDialogRequest::Kind::Open, "open", "packages", "zip", {}};
    const FileDialogRequest save{FileDialogRequest::Kind::Save, "save", "GPX", "gpx", "A.gpx"};
    struct Case {
        const FileDialogRequest* request;
        std::wstring typed;
        bool cancel;
        FileDialogAnswer::Outcome outcome;
        std::string path;
    } cases[] = {
        {&open, wide(chinese), false, FileDialogAnswer::Outcome::Chosen, chinese},
        {&open, L"", true, FileDialogAnswer::Outcome::Cancelled, ""},
        // A name typed without its extension gets the dialog's.
        {&save, wide(dir.file("out")), false, FileDialogAnswer::Outcome::Chosen,
         dir.file("out.gpx")},
        {&save, L"", true, FileDialogAnswer::Outcome::Cancelled, ""},
        {&save, thai, false, FileDialogAnswer::Outcome::Unreachable, ""},
    };
    for (const Case& c : cases) {
        typed = c.typed;
        cancel = c.cancel;
        FileDialogAnswer answer = runFileDialog(*c.request, nullptr, answerDialog);
        EXPECT_EQ(answer.outcome, c.outcome) << c.path;
        EXPECT_EQ(answer.path, c.path);
    }
}

}  // namespace
