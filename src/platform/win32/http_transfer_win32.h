#pragma once

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/http.h"

// The two halves of an HTTP transfer through WinINet (http_win32.cpp): the transfer thread,
// which makes the WinINet calls, and the caller's thread, which delivers the body and watches
// the request's limits. This is what they share.
namespace platform::win32 {

constexpr const char* kRefusedAddress = "an address the request may not use";

// What the two threads share. The caller sets `cancelled`; the transfer thread fills the rest.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    // Set by the caller when it gives up; the transfer thread then makes no further call.
    bool cancelled = false;
    // Set by the caller while it is inside shouldStop: no new read starts meanwhile.
    bool held = false;
    HINTERNET request = nullptr;  // the request in progress, for the caller to close

    std::deque<std::string> pieces;
    size_t queuedBytes = 0;
    int64_t moved = 0;  // bytes sent and received so far
    int status = 0;
    // The final response's announced body length, set before its first piece; -1 for none.
    int64_t announced = -1;
    bool finished = false;
    HttpOutcome outcome = HttpOutcome::Failed;
    HttpError error;  // why the transfer failed, when it did
};

struct Job {
    std::string url;
    bool post = false;
    std::string body;
    std::string agent;
    bool reload = true;
    bool failOnErrorStatus = false;
    bool httpsOnly = false;
    DWORD connectTimeoutMs = 60000;
    DWORD socketTimeoutMs = 60000;
};

// The transfer thread's whole work: the request, its redirects and the body, handed over
// through `shared`, which it fills in last with how the transfer ended.
void runTransfer(const Job& job, std::shared_ptr<Shared> shared);

}  // namespace platform::win32
