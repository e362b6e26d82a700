#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/message_sink.h"

// Hands the messages that any thread posts to the window's thread, in the order they were
// posted, through the GLib main context. Messages that arrive while no receiver is set are
// dropped.
class WindowSink : public platform::MessageSink {
  public:
    using Receiver = std::function<void(uint32_t, uintptr_t, intptr_t)>;

    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // Called on the window's thread.
    void setReceiver(Receiver receiver);

  private:
    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    static int deliver(void* self);

    std::mutex mutex_;
    std::deque<Message> queue_;
    bool scheduled_ = false;
    Receiver receiver_;
};
