#include "support/recording_seat.h"

#include "app/page_messages.h"

void RecordingSeat::post(const TaskEvent& event) {
    std::function<void(const TaskEvent&)> react;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        react = react_;
    }
    if (react) react(event);
}

bool RecordingSeat::ask(const std::string& text, const std::string& title) {
    questions.push_back(title);
    return answerQuestion && answerQuestion(text, title);
}

platform::FileDialogAnswer RecordingSeat::chooseFile(const platform::FileDialogRequest& request) {
    return answerDialog ? answerDialog(request) : platform::FileDialogAnswer{};
}

void RecordingSeat::setOnPost(std::function<void(const TaskEvent&)> react) {
    std::lock_guard<std::mutex> lock(mutex_);
    react_ = std::move(react);
}

std::vector<TaskEvent> RecordingSeat::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<TaskStatus> RecordingSeat::statusCodes() const {
    std::vector<TaskStatus> codes;
    for (const TaskEvent& e : events())
        if (e.kind == TaskEvent::Kind::Status) codes.push_back(e.status);
    return codes;
}

std::vector<std::string> RecordingSeat::pageCalls() const {
    std::vector<std::string> calls;
    for (const TaskEvent& e : events())
        if (auto call = pageCallFor(e)) calls.push_back(formatPageCall(*call));
    return calls;
}

void RecordingSeat::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
}
