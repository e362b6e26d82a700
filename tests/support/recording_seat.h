#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/seat.h"

// The front end of the tests: records every event posted, from any thread, and every question
// and file dialog; answers them as the test sets (No and Cancelled unless told).
class RecordingSeat : public Seat {
  public:
    void post(const TaskEvent& event) override;
    bool ask(const std::string& text, const std::string& title) override;
    platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) override;

    std::vector<TaskEvent> events() const;
    // The codes of the status events, in order.
    std::vector<TaskStatus> statusCodes() const;
    // Every event as the page call the window makes of it: kankan(" "), currentLushu("1","down").
    std::vector<std::string> pageCalls() const;
    void clear();
    // Called after each event is recorded, on the thread that posted it (a test plays the page
    // reacting to an event).
    void setOnPost(std::function<void(const TaskEvent&)> react);

    // Window thread, like the questions they answer.
    std::function<bool(const std::string& text, const std::string& title)> answerQuestion;
    std::function<platform::FileDialogAnswer(const platform::FileDialogRequest&)> answerDialog;
    std::vector<std::string> questions;  // the titles asked, in order

  private:
    mutable std::mutex mutex_;
    std::vector<TaskEvent> events_;
    std::function<void(const TaskEvent&)> react_;
};
