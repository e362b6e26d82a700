#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "tasks/account_binding.h"

struct NavigatorState;

// The running task's pause gate. Pausing closes it one step more, continuing opens it one step
// (never below open); the worker waits on it at its checkpoints and inside its transfer, copy
// and removal loops. Nothing suspends the worker from outside, so it never stops while holding
// a heap or file lock that the window needs.
class PauseGate {
  public:
    void pause();
    void resume();
    // Open whatever the count: a new task, or the end of the program.
    void release();
    // Returns at once while open; blocks while paused.
    void wait();
    int pauseCount() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable opened_;
    int count_ = 0;
};

// What the steps of a task see of its control: the stop request and the pause gate.
class TaskControl {
  public:
    TaskControl(const std::atomic<int>& stop, PauseGate& gate) : stop_(stop), gate_(gate) {}

    bool stopRequested() const { return stop_.load() != 0; }
    // Waits while the task is paused, then answers whether a stop was asked for.
    bool checkpoint() const {
        gate_.wait();
        return stopRequested();
    }
    // For work that must finish once begun: pauses, but does not stop.
    void waitWhilePaused() const { gate_.wait(); }

  private:
    const std::atomic<int>& stop_;
    PauseGate& gate_;
};

// The slot of the one worker thread.
class TaskThread {
  public:
    using Job = std::function<void(const TaskControl&)>;

    TaskThread() = default;
    // Calls finish().
    ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    // Starts `job` on a new thread unless a task is running (false). When the job returns, the
    // stop flag goes back to 0 and the slot becomes idle.
    bool start(std::atomic<int>& stopFlag, Job job);
    bool isIdle() const;
    // The page's control letters for the running task: 'p' pauses it, 'c' continues it, 't' asks
    // it to stop and continues it once. Ignored while idle, and any other letter always.
    void control(char letter);
    int pauseCount() const { return gate_.pauseCount(); }
    // The end of the program's tasks: a task still running is asked to stop and given a few
    // seconds to clean up after itself (the process ends if it does not), then joined.
    void finish();
    // Waits until no task runs; false when the time ran out first.
    bool waitIdle(std::chrono::milliseconds timeout);

  private:
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    bool running_ = false;
    std::atomic<int>* stopFlag_ = nullptr;
    std::thread thread_;
    PauseGate gate_;
};

// The program's task machinery: the stop flag, the account's upload path and the worker's slot.
struct TaskState {
    std::atomic<int> stopRequested{0};
    std::string accountName;
    std::string uploadPath = kUploadPathTemplate;
    TaskThread taskThread;
};

struct TaskContext;
using TaskWorker = void (*)(TaskContext& context, std::string text);
using TaskJob = std::function<void(TaskContext& context)>;

// Starts `job` as the running task, with the connection and upload path as they are now; false,
// after posting code 1, while another task runs.
bool startTaskJob(NavigatorState& navigator, TaskState& tasks, TaskJob job);

// How the page's task methods start their worker. Answers an empty text at once: a missing
// argument posts code 2, a running task code 1; otherwise the worker starts with the connection
// and upload path as they are now, and owns the text.
std::string startTask(NavigatorState& navigator, TaskState& tasks, std::optional<std::string> text,
                      TaskWorker worker);
// "p" pauses the running task, "c" continues it, "t" asks it to stop and continues it once.
void PauseTask(TaskState& tasks, const std::optional<std::string>& text);
bool isTaskIdle(const TaskState& tasks);
