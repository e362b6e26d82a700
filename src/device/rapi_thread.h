#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/rapi_link.h"

// The one thread that calls the remote API. The remote API's documentation has its link started
// and waited for on a thread with COM initialised, the wait done with MsgWaitForMultipleObjects;
// the device-connection software may not take calls from other threads at all. So every call
// of the program, from the window, the worker and the terminal alike, is handed to this thread
// and waited for, and the thread waits for the link's event between calls.
class RapiThread {
  public:
    RapiThread();
    // Runs what was handed over before, then ends the thread.
    ~RapiThread();
    RapiThread(const RapiThread&) = delete;
    RapiThread& operator=(const RapiThread&) = delete;

    // Runs `call` on the thread and waits until it has run; on the thread itself it runs at once.
    void run(const std::function<void()>& call);
    // Hands `call` to the thread without waiting.
    void post(std::function<void()> call);

    // On the thread: from now on the thread also waits for `event` (a link start's), and once
    // the wait ends other than by a wake, calls `settled` with its outcome and forgets it. A
    // later watch replaces an earlier one.
    void watch(void* event, std::function<void(platform::EventWait)> settled);

  private:
    struct Job {
        std::function<void()> call;
        bool* done = nullptr;  // the waiting caller's flag, or null
    };
    void loop();
    // Runs the jobs waiting now; with the lock held on entry and on return.
    void runJobs(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Job> jobs_;
    bool ending_ = false;
    platform::RapiWake wake_;
    // Only the thread touches these.
    void* watched_ = nullptr;
    std::function<void(platform::EventWait)> settled_;
    std::thread thread_;  // last: it starts with everything above in place
};
