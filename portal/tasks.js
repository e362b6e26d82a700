// The task the program runs, as the page shows it: its panel (state line, bar, pause, resume
// and stop), its start, the program's reports of its steps and end, and what the user is told
// then. The decisions are the state machine's (task_state.js).
var PortalTasks = (function () {
    "use strict";

    var S = PortalTaskState;
    var program = PortalBridge;
    var ui = PortalUi;
    var $ = ui.$;
    var task = null;

    function render() {
        var bar = $("taskBar");
        var look = S.controls(task);
        $("task").className = look.className;
        $("pause").disabled = look.pauseDisabled;
        $("stop").disabled = look.stopDisabled;
        $("pause").hidden = look.pauseHidden;
        $("resume").hidden = look.resumeHidden;
        $("resume").disabled = look.resumeDisabled;
        ui.setClass(bar, "indeterminate", look.indeterminate);
        if (!task) bar.style.width = "0";
    }

    // `step` is a state machine's answer: its task, and the state line's and the bar's new
    // values where they change.
    function apply(step) {
        task = step.task;
        if (step.text !== undefined) $("taskState").textContent = step.text;
        if (step.width !== undefined) $("taskBar").style.width = step.width + "%";
        render();
    }

    // A task that the program has started already (`fields` as PortalTaskState.begin takes them).
    function adopt(fields) {
        apply(S.begin(fields));
    }

    // A task started with `method`, one of the program's three task methods; false without a
    // navigator.
    function start(method, argument, fields) {
        if (method(argument) === undefined) {
            ui.setConnected(false);
            ui.showMessage("未连接导航仪。");
            return false;
        }
        adopt(fields);
        PortalSettings.logEvent("开始" + task.label + "（" + task.total + " 个）");
        return true;
    }

    function end(message) {
        var finished = task;
        apply({task: null, text: S.IDLE});
        if (finished && finished.after) {
            finished.after(message, finished);
        } else if (finished) {
            var text = S.ending(finished, message);
            ui.showMessage(text);
            PortalSettings.logEvent(text);
        }
        PortalBooks.refresh(true);
    }

    // The program's message: a download that the server does not have is told apart from a
    // network failure when the page may ask the server itself.
    function notice(text, status, cause) {
        var meant = S.notice(task, text, status, cause);
        if (meant.show !== undefined) {
            if (meant.show) ui.showMessage(meant.show);
            return;
        }
        if (!meant.check) return end(meant.end);
        var finished = task;
        function done(said) {
            if (task === finished) end(said);
        }
        var request = new XMLHttpRequest();
        request.onload = function () {
            done(request.status === 404 || request.status === 410 ? meant.missing : meant.end);
        };
        request.onerror = request.ontimeout = function () { done(meant.end); };
        try {
            request.open("HEAD", meant.check, true);
            // A server that never answers must not keep the task from ending.
            request.timeout = 10000;
            request.send();
        } catch (e) {
            done(meant.end);
        }
    }

    function progress(ordinal, action) {
        apply(S.progress(task, ordinal, action));
    }

    // The user's pause, resume and stop, told to the program when the task is in a state for
    // them.
    function user(step, command, focus) {
        if (!step) return;
        program.PauseTask(command);
        apply(step);
        if (focus) $(focus).focus();
    }

    function pause() { user(S.pause(task), "p", "resume"); }

    function resume() { user(S.resume(task), "c", "pause"); }

    function stop() { user(S.stop(task), "t"); }

    return {start: start, adopt: adopt, notice: notice, progress: progress, pause: pause,
            resume: resume, stop: stop,
            running: function () { return task !== null; }};
})();
