#include "app/win32/window_subclass.h"

namespace {
constexpr const char* kProperty = "vantu.subclass";
}

bool WindowSubclass::attach(HWND window) {
    if (!IsWindow(window) || GetPropA(window, kProperty) != nullptr) return false;
    onAttach();
    window_ = window;
    SetPropA(window, kProperty, this);
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&entry)));
    return true;
}

LRESULT WindowSubclass::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return callPrevious(message, wParam, lParam);
}

LRESULT WindowSubclass::callPrevious(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(previous_, window_, message, wParam, lParam);
}

LRESULT CALLBACK WindowSubclass::entry(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<WindowSubclass*>(GetPropA(window, kProperty));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    MSG saved = self->current_;
    self->current_ = MSG{window, message, wParam, lParam, 0, {}};
    LRESULT result = self->windowProc(message, wParam, lParam);
    self->current_ = saved;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->previous_));
        RemovePropA(window, kProperty);
        delete self;
    }
    return result;
}

LRESULT FlashMenuFilter::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITMENU || message == WM_INITMENUPOPUP) return 0;
    return callPrevious(message, wParam, lParam);
}

bool filterFlashMenus(HWND parent) {
    bool found = false;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            char name[256] = {};
            GetClassNameA(child, name, sizeof name);
            if (lstrcmpiA(name, kFlashPlayerClass) == 0) {
                auto* filter = new FlashMenuFilter;
                if (filter->attach(child))
                    *reinterpret_cast<bool*>(data) = true;
                else
                    delete filter;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}
