#include "app/gtk/window_sink.h"

#include <glib.h>

void WindowSink::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({message, wParam, lParam});
    if (!scheduled_) {
        scheduled_ = true;
        g_idle_add_full(G_PRIORITY_DEFAULT, deliver, this, nullptr);
    }
}

void WindowSink::setReceiver(Receiver receiver) {
    std::lock_guard<std::mutex> lock(mutex_);
    receiver_ = std::move(receiver);
}

int WindowSink::deliver(void* self) {
    auto* sink = static_cast<WindowSink*>(self);
    std::deque<Message> batch;
    Receiver receiver;
    {
        std::lock_guard<std::mutex> lock(sink->mutex_);
        batch.swap(sink->queue_);
        sink->scheduled_ = false;
        receiver = sink->receiver_;
    }
    // Outside the lock: a page call may lead to more posts.
    if (receiver)
        for (const Message& m : batch)
            receiver(m.message, m.wParam, m.lParam);
    return G_SOURCE_REMOVE;
}
