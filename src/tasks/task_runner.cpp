#include "tasks/task_runner.h"

#include <cstdlib>

#include "common/task_status.h"
#include "ops/navigator_state.h"
#include "tasks/task_context.h"

namespace {
// How long the end of the program waits for a task to clean up after itself.
constexpr std::chrono::seconds kExitGrace{5};
}  // namespace

void PauseGate::pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
}

void PauseGate::resume() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ > 0) --count_;
    }
    opened_.notify_all();
}

void PauseGate::release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        count_ = 0;
    }
    opened_.notify_all();
}

void PauseGate::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return count_ == 0; });
}

int PauseGate::pauseCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

TaskThread::~TaskThread() {
    finish();
}

void TaskThread::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (running_) {
        stopFlag_->store(1);
        gate_.release();
        if (!finished_.wait_for(lock, kExitGrace, [this] { return !running_; })) {
            // The task would outlive the state it works on: end the process here.
            std::_Exit(0);
        }
    }
    lock.unlock();
    if (thread_.joinable()) thread_.join();
}

bool TaskThread::start(std::atomic<int>& stopFlag, Job job) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (running_) return false;
    // The last task has ended (or is just returning from its thread).
    if (thread_.joinable()) thread_.join();
    running_ = true;
    stopFlag_ = &stopFlag;
    stopFlag_->store(0);
    gate_.release();
    thread_ = std::thread([this, job = std::move(job)] {
        TaskControl control(*stopFlag_, gate_);
        job(control);
        std::lock_guard<std::mutex> done(mutex_);
        stopFlag_->store(0);
        running_ = false;
        finished_.notify_all();
    });
    return true;
}

bool TaskThread::isIdle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !running_;
}

void TaskThread::control(char letter) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    switch (letter) {
        case 'p':
            gate_.pause();
            break;
        case 'c':
            gate_.resume();
            break;
        case 't':
            stopFlag_->store(1);
            gate_.resume();
            break;
        default:
            break;
    }
}

bool TaskThread::waitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return finished_.wait_for(lock, timeout, [this] { return !running_; });
}

bool startTaskJob(NavigatorState& navigator, TaskState& tasks, TaskJob job) {
    // The snapshot is taken here, on the window's thread, which is the only one that changes
    // these fields.
    auto run = [&navigator, mode = navigator.mode, dataRoot = navigator.dataRoot,
                uploadPath = tasks.uploadPath, job = std::move(job)](const TaskControl& control) {
        TaskContext context{navigator, mode, dataRoot, uploadPath, control};
        job(context);
    };
    if (tasks.taskThread.start(tasks.stopRequested, std::move(run))) return true;
    navigator.seat.postStatus(TaskStatus::Busy);
    return false;
}

std::string startTask(NavigatorState& navigator, TaskState& tasks, std::optional<std::string> text,
                      TaskWorker worker) {
    if (!text) {
        navigator.seat.postStatus(TaskStatus::UnknownError);
        return {};
    }
    startTaskJob(navigator, tasks,
                 [worker, argument = std::move(*text)](TaskContext& context) mutable {
                     worker(context, std::move(argument));
                 });
    return {};
}

void PauseTask(TaskState& tasks, const std::optional<std::string>& text) {
    if (text && !text->empty()) tasks.taskThread.control((*text)[0]);
}

bool isTaskIdle(const TaskState& tasks) {
    return tasks.taskThread.isIdle();
}

void failWorker(const TaskContext& context, TaskStatus status, platform::OsError error,
                std::string_view doing) {
    if (error.failed()) {
        platform::addContext(error, doing);
        platform::logOsError(error);
    }
    context.device.seat.postStatus(status, error);
}
