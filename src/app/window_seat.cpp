#include "app/window_seat.h"

#include "app/window_controller.h"

void WindowSeat::deliver(const TaskEvent& event) {
    if (controller_ != nullptr) controller_->taskEvent(event);
}

bool WindowSeat::ask(const std::string& text, const std::string& title) {
    return controller_ != nullptr && controller_->ask(text, title);
}

platform::FileDialogAnswer WindowSeat::chooseFile(const platform::FileDialogRequest& request) {
    return controller_ != nullptr ? controller_->chooseFile(request) : platform::FileDialogAnswer{};
}
