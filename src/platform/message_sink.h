#pragma once

#include <cstdint>

// How any thread tells the window something: a (message, wParam, lParam) triple posted to the
// window's queue. The host installs the sink (PostMessage on Windows, the GLib main context on
// Linux); tests and the terminal install their own.
namespace platform {

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// The sink must outlive every post; null removes it (posts are then dropped).
void setMessageSink(MessageSink* sink);
void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace platform
