#include "support/recording_sink.h"

#include "app/page_messages.h"
#include "common/task_status.h"

RecordingSink::RecordingSink() {
    platform::setMessageSink(this);
}

RecordingSink::~RecordingSink() {
    platform::setMessageSink(nullptr);
}

void RecordingSink::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::function<void(const Message&)> react;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({message, wParam, lParam});
        react = react_;
    }
    if (react) react({message, wParam, lParam});
}

void RecordingSink::setOnPost(std::function<void(const Message&)> react) {
    std::lock_guard<std::mutex> lock(mutex_);
    react_ = std::move(react);
}

std::vector<RecordingSink::Message> RecordingSink::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::vector<TaskStatus> RecordingSink::statusCodes() const {
    std::vector<TaskStatus> codes;
    for (const auto& m : messages())
        if (m.message == WM_TASK_STATUS) codes.push_back(static_cast<TaskStatus>(m.lParam));
    return codes;
}

std::vector<std::string> RecordingSink::pageCalls() const {
    std::vector<std::string> calls;
    for (const auto& m : messages())
        if (auto call = pageCallForMessage(m.message, m.wParam, m.lParam))
            calls.push_back(formatPageCall(*call));
    return calls;
}

void RecordingSink::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}
