#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/task_status.h"
#include "platform/file_dialog.h"
#include "platform/os_error.h"

class Seat;

// A question a worker puts to its front end without holding the front end's thread: posted as a
// task event, it is answered from the front end's thread whenever its user has decided, while
// the worker waits. Held by a shared_ptr, which the event shares.
class SeatQuestion : public std::enable_shared_from_this<SeatQuestion> {
  public:
    // Worker: posts the question about `items` (UTF-8) through `seat` and waits for the answer;
    // No when `stopped` turns true first (looked at every tenth of a second).
    bool ask(Seat& seat, std::vector<std::string> items, const std::function<bool()>& stopped);
    // Any thread: answers the question asked now; false when none is waiting.
    bool answer(bool yes);
    // What the question waiting now is about; empty when none is.
    std::vector<std::string> items() const;

  private:
    enum class State { Idle, Asked, Yes, No };
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    State state_ = State::Idle;
    std::vector<std::string> items_;
};

// What the core tells its front end from any thread: a task's status or progress, the remote
// link coming up, the update check's question and end, a worker's question. The front end turns
// each into what its user sees (a page call, a line on the terminal).
struct TaskEvent {
    enum class Kind {
        Status,
        Progress,
        DeviceLink,
        UpdateQuestion,
        UpdateDone,
        UpdateClose,
        ReplaceQuestion
    };
    Kind kind = Kind::Status;
    int ordinal = 0;                       // Progress: the item being worked on, from 1
    TaskKind progress = TaskKind::Import;  // Progress: the task whose item it is
    TaskStatus status = TaskStatus::Done;  // Status
    // Status: the system's cause of a failure on the PC behind it, for the page to tell apart
    // from the navigator's or the network's.
    platform::OsCause cause = platform::OsCause::None;
    // ReplaceQuestion: whether to replace the files that differ from the backup being restored.
    // A front end that cannot ask answers No.
    std::shared_ptr<SeatQuestion> question;
    // Status: the system's text for that cause (ANSI), for a front end that shows text.
    std::string causeText;

    static TaskEvent of(Kind kind) {
        return {kind, 0, TaskKind::Import, TaskStatus::Done, platform::OsCause::None, nullptr, {}};
    }
    static TaskEvent ofStatus(TaskStatus status, platform::OsCause cause = platform::OsCause::None,
                              std::string causeText = {}) {
        return {Kind::Status, 0, TaskKind::Import, status, cause, nullptr, std::move(causeText)};
    }
    static TaskEvent ofProgress(TaskKind task, int ordinal) {
        TaskEvent event = of(Kind::Progress);
        event.ordinal = ordinal;
        event.progress = task;
        return event;
    }
};

// How the core asks its front end (the window, the terminal, a test). It is passed to what
// needs it, never installed anywhere.
class Seat {
  public:
    virtual ~Seat() = default;

    // Any thread, never waits for the front end: events reach it in the order posted.
    virtual void post(const TaskEvent& event) = 0;
    // The front end's thread. The yes/no question (ANSI text and title); waits for the answer,
    // true for Yes.
    virtual bool ask(const std::string& text, const std::string& title) = 0;
    // The front end's thread. The system's dialog for a file to open or save; waits for the
    // answer.
    virtual platform::FileDialogAnswer chooseFile(const platform::FileDialogRequest& request) = 0;

    // The file dialog as the core uses it: a save's answer without an extension gets the
    // request's; when that changes it and a file stands at the completed name, the user is
    // asked whether to replace it, since the dialog could only have asked about the name as
    // typed: No cancels.
    platform::FileDialogAnswer askForFile(const platform::FileDialogRequest& request);

    // With the system's cause of the failure behind the status, when it had one.
    void postStatus(TaskStatus status, const platform::OsError& error = {}) {
        post(TaskEvent::ofStatus(status, error.cause, error.text));
    }
    void postProgress(TaskKind task, int ordinal) { post(TaskEvent::ofProgress(task, ordinal)); }
};
