#include "app/gtk/window_sink.h"

#include <glib.h>

void WindowSink::post(const TaskEvent& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(event);
    if (!scheduled_) {
        scheduled_ = true;
        g_idle_add_full(G_PRIORITY_DEFAULT, deliverAll, this, nullptr);
    }
}

int WindowSink::deliverAll(void* self) {
    auto* sink = static_cast<WindowSink*>(self);
    std::deque<TaskEvent> batch;
    {
        std::lock_guard<std::mutex> lock(sink->mutex_);
        batch.swap(sink->queue_);
        sink->scheduled_ = false;
    }
    // Outside the lock: a page call may lead to more posts.
    for (const TaskEvent& event : batch)
        sink->deliver(event);
    return G_SOURCE_REMOVE;
}
