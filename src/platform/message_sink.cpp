#include "platform/message_sink.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<MessageSink*> gSink{nullptr};
}

void setMessageSink(MessageSink* sink) {
    gSink.store(sink);
}

void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (MessageSink* sink = gSink.load()) sink->post(message, wParam, lParam);
}

}  // namespace platform
