#include "app/win32/post_message_sink.h"

void PostMessageSink::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (HWND window = window_.load()) PostMessageA(window, message, wParam, lParam);
}
