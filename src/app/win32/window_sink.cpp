#include "app/win32/window_sink.h"

void WindowSink::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (HWND window = window_.load()) PostMessageA(window, message, wParam, lParam);
}
