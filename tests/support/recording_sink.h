#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/task_status.h"
#include "platform/message_sink.h"

// Installs itself as the window's message sink for its lifetime and records every notification,
// from any thread.
class RecordingSink : public platform::MessageSink {
  public:
    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };

    RecordingSink();
    ~RecordingSink() override;

    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    std::vector<Message> messages() const;
    // The status codes of WM_TASK_STATUS, in order.
    std::vector<TaskStatus> statusCodes() const;
    // Every notification as the page call the window makes of it: kankan(" "),
    // currentLushu("1","down"), ...
    std::vector<std::string> pageCalls() const;
    void clear();
    // Called after each message is recorded, on the thread that posted it (a test plays the
    // page reacting to a notification).
    void setOnPost(std::function<void(const Message&)> react);

  private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::function<void(const Message&)> react_;
};
