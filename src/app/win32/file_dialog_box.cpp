#include "app/win32/file_dialog_box.h"

#include <string>

#include "platform/codepage.h"
#include "platform/file_dialog.h"
#include "platform/log.h"

namespace {

std::wstring wide(const std::string& ansi) {
    std::u16string text = platform::ansiToUtf16(ansi);
    return std::wstring(text.begin(), text.end());
}

// The dialog's one filter: a description and its patterns, each ending in NUL, and one NUL more.
// The patterns go as the system takes several: "*.zip;*.gpx".
std::wstring filterOf(const platform::FileDialogRequest& request) {
    std::wstring pattern;
    for (const std::string& one : platform::filterPatterns(request.extension))
        pattern += (pattern.empty() ? L"" : L";") + wide(one);
    std::wstring filter = wide(request.filterName) + L" (" + pattern + L")";
    return filter + L'\0' + pattern + L'\0' + L'\0';
}

}  // namespace

platform::FileDialogAnswer runFileDialog(const platform::FileDialogRequest& request, HWND owner,
                                         LPOFNHOOKPROC hook) {
    const bool save = request.kind == platform::FileDialogRequest::Kind::Save;
    const std::wstring title = wide(request.title);
    // The first extension is the one a typed name gets.
    const std::wstring extension = wide(request.extension.substr(0, request.extension.find(';')));
    const std::wstring filter = filterOf(request);
    // Room for the longest path the system's wide functions take.
    std::wstring file(32768, L'\0');
    file.replace(0, 0, wide(request.suggestedName).substr(0, 255));

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    // A name typed without its extension gets it.
    dialog.lpstrDefExt = extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (hook != nullptr) {
        dialog.Flags |= OFN_ENABLEHOOK;
        dialog.lpfnHook = hook;
    }
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) {
        // Nothing chosen; an error code means the dialog could not even be shown.
        if (DWORD error = CommDlgExtendedError())
            platform::logLine("The file dialog failed: error " + std::to_string(error));
        return {};
    }
    const wchar_t* chosen = file.c_str();
    return platform::chosenPath(
        std::u16string(reinterpret_cast<const char16_t*>(chosen), wcslen(chosen)));
}
