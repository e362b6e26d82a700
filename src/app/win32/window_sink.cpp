#include "app/win32/window_sink.h"

void WindowSink::post(const TaskEvent& event) {
    HWND window = window_.load();
    if (window == nullptr) return;
    auto wParam = static_cast<WPARAM>(event.kind) | (static_cast<WPARAM>(event.progress) << 8);
    LPARAM lParam = event.kind == TaskEvent::Kind::Status ? static_cast<LPARAM>(event.status)
                                                          : static_cast<LPARAM>(event.ordinal);
    PostMessageA(window, WM_TASK_EVENT, wParam, lParam);
}

TaskEvent taskEventFrom(WPARAM wParam, LPARAM lParam) {
    TaskEvent event = TaskEvent::of(static_cast<TaskEvent::Kind>(wParam & 0xFF));
    event.progress = static_cast<TaskKind>((wParam >> 8) & 0xFF);
    if (event.kind == TaskEvent::Kind::Status)
        event.status = static_cast<TaskStatus>(lParam);
    else
        event.ordinal = static_cast<int>(lParam);
    return event;
}
