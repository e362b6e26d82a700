#include "common/seat.h"

#include <chrono>
#include <utility>

#include "platform/files.h"

platform::FileDialogAnswer Seat::askForFile(const platform::FileDialogRequest& request) {
    platform::FileDialogAnswer answer = chooseFile(request);
    if (request.kind != platform::FileDialogRequest::Kind::Save ||
        answer.outcome != platform::FileDialogAnswer::Outcome::Chosen)
        return answer;
    std::string completed = platform::withDefaultExtension(answer.path, request.extension);
    if (completed == answer.path) return answer;
    if (platform::fileExists(completed) &&
        !ask(platform::replaceQuestion(completed), request.title))
        return {};
    answer.path = std::move(completed);
    return answer;
}

bool SeatQuestion::ask(Seat& seat, std::vector<std::string> items,
                       const std::function<bool()>& stopped) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State::Asked;
        items_ = std::move(items);
    }
    TaskEvent event = TaskEvent::of(TaskEvent::Kind::ReplaceQuestion);
    event.question = shared_from_this();
    // Posted outside the lock: a seat may answer at once.
    seat.post(event);
    std::unique_lock<std::mutex> lock(mutex_);
    while (state_ == State::Asked && !stopped())
        answered_.wait_for(lock, std::chrono::milliseconds(100));
    bool yes = state_ == State::Yes;
    state_ = State::Idle;
    items_.clear();
    return yes;
}

bool SeatQuestion::answer(bool yes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ != State::Asked) return false;
        state_ = yes ? State::Yes : State::No;
    }
    answered_.notify_all();
    return true;
}

std::vector<std::string> SeatQuestion::items() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State::Asked ? items_ : std::vector<std::string>{};
}
