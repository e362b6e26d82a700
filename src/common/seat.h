#pragma once

#include <string>

#include "common/task_status.h"
#include "platform/file_dialog.h"
#include "platform/os_error.h"

// What the core tells its front end from any thread: a task's status or progress, the remote
// link coming up, the update check's question and end. The front end turns each into what its
// user sees (a page call, a line on the terminal).
struct TaskEvent {
    enum class Kind { Status, Progress, DeviceLink, UpdateQuestion, UpdateDone, UpdateClose };
    Kind kind = Kind::Status;
    int ordinal = 0;                       // Progress: the item being worked on, from 1
    TaskKind progress = TaskKind::Import;  // Progress: the task whose item it is
    TaskStatus status = TaskStatus::Done;  // Status
    // Status: the system's cause of a failure on the PC behind it, for the page to tell apart
    // from the navigator's or the network's.
    platform::OsCause cause = platform::OsCause::None;

    static TaskEvent of(Kind kind) { return {kind, 0, TaskKind::Import, TaskStatus::Done}; }
    static TaskEvent ofStatus(TaskStatus status,
                              platform::OsCause cause = platform::OsCause::None) {
        return {Kind::Status, 0, TaskKind::Import, status, cause};
    }
    static TaskEvent ofProgress(TaskKind task, int ordinal) {
        return {Kind::Progress, ordinal, task, TaskStatus::Done};
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

    void postStatus(TaskStatus status, platform::OsCause cause = platform::OsCause::None) {
        post(TaskEvent::ofStatus(status, cause));
    }
    void postProgress(TaskKind task, int ordinal) { post(TaskEvent::ofProgress(task, ordinal)); }
};
