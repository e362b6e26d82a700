#include "device/rapi_thread.h"

#include <utility>

RapiThread::RapiThread() : thread_([this] { loop(); }) {}

RapiThread::~RapiThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    wake_.wake();
    thread_.join();
}

void RapiThread::run(const std::function<void()>& call) {
    if (std::this_thread::get_id() == thread_.get_id()) {
        call();
        return;
    }
    bool done = false;
    std::unique_lock<std::mutex> lock(mutex_);
    jobs_.push_back({call, &done});
    lock.unlock();
    wake_.wake();
    lock.lock();
    finished_.wait(lock, [&done] { return done; });
}

void RapiThread::post(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({std::move(call), nullptr});
    }
    wake_.wake();
}

void RapiThread::watch(void* event, std::function<void(platform::EventWait)> settled) {
    watched_ = event;
    settled_ = std::move(settled);
}

void RapiThread::runJobs(std::unique_lock<std::mutex>& lock) {
    while (!jobs_.empty()) {
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job.call();
        lock.lock();
        if (job.done != nullptr) {
            *job.done = true;
            finished_.notify_all();
        }
    }
}

void RapiThread::loop() {
    platform::RapiApartment apartment;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        runJobs(lock);
        if (ending_) return;
        lock.unlock();
        platform::EventWait waited =
            platform::waitForRapiEvent(watched_, wake_, platform::kWaitForever);
        if (waited != platform::EventWait::Woken && watched_ != nullptr) {
            auto settled = std::move(settled_);
            watched_ = nullptr;
            settled_ = nullptr;
            settled(waited);
        }
        lock.lock();
    }
}
