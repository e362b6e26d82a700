// The task state machine: what the page shows of a transfer the program runs, as pure functions
// of the task and what happens to it (it starts, the program reports a step or its end, the user
// pauses, resumes or stops it). Each answers a new task and the texts to show; none touches the
// page, so that they run under node too.
//
// A task: {kind, verb (the page's own word), noun (what the items are), total, label, items
// (names by ordinal), current, urls, paused, stopping, note (said at the end), after (runs at
// the end instead of the usual message)}.
var PortalTaskState = (function () {
    "use strict";

    var IDLE = "没有进行中的任务";
    // The program's status codes that the page branches on, and "no cause on the PC".
    var BUSY = 1, DOWNLOAD_FAILED = 4, NO_CAUSE = 0;
    var ACTIONS = {down: "下载", "delete": "删除", updata: "上传"};

    function copy(task, changes) {
        var result = {}, key;
        for (key in task) if (task.hasOwnProperty(key)) result[key] = task[key];
        for (key in changes) if (changes.hasOwnProperty(key)) result[key] = changes[key];
        return result;
    }

    // A task the page has started: `fields` gives kind and label, and items, urls, verb, noun,
    // note and after where it has them.
    function begin(fields) {
        var task = copy({items: [], urls: []}, fields);
        task = copy(task, {total: task.items.length, current: 0, paused: false, stopping: false});
        return {task: task, text: task.label + "：准备中…"};
    }

    // The program is at item `ordinal` of a task (one the page did not start, too): `text` is
    // undefined while the task is paused or stopping; `width` is the bar's share in percent.
    function progress(task, ordinal, action) {
        var n = parseInt(ordinal, 10) || 0;
        var verb = (task && task.verb) || ACTIONS[action] || "处理";
        if (!task) task = copy(begin({kind: action, label: verb + "路书"}).task, {total: n});
        task = copy(task, {current: n});
        var name = task.items[n - 1];
        var text;
        if (!task.paused && !task.stopping)
            text = "正在" + verb + "第 " + n + " 个" + (task.noun || "路书") +
                   (name ? "“" + name + "”" : "") + (task.total ? "（共 " + task.total + " 个）" : "");
        var width = task.total ? Math.min(100, (n - 1) / task.total * 100) : 0;
        return {task: task, text: text, width: width};
    }

    // The user's pause, resume and stop: undefined when the task is not in a state for it.
    function pause(task) {
        if (!task || task.paused) return undefined;
        return {task: copy(task, {paused: true}), text: task.label + "：已暂停"};
    }

    function resume(task) {
        if (!task || !task.paused) return undefined;
        return {task: copy(task, {paused: false}), text: task.label + "：继续…"};
    }

    function stop(task) {
        if (!task) return undefined;
        return {task: copy(task, {paused: false, stopping: true}), text: task.label + "：正在停止…"};
    }

    // What the program's message `text` with its `status` and `cause` codes means for the task:
    // {show} a message alone (no task, or a busy answer to a task that was refused while this
    // one goes on), or {end} the task with that message. A download that failed on the network,
    // not on the PC, also names `check`, the package's address, and `missing`, what to say
    // instead if the server has no such package.
    function notice(task, text, status, cause) {
        var message = text === undefined ? "" : String(text).trim();
        if (!task || status === BUSY) return {show: message};
        if (!message) return {end: ""};
        var name = task.items[task.current - 1];
        var prefix = name ? "“" + name + "”：" : "";
        var url = task.urls[task.current - 1];
        if (status !== DOWNLOAD_FAILED || cause !== NO_CAUSE || !url) return {end: prefix + message};
        return {end: prefix + message, check: url, missing: prefix + "下载失败，服务器上没有这个路书。"};
    }

    // What the user is told when `task` has ended with the program's `message`.
    function ending(task, message) {
        if (message) return message;
        if (task.stopping) return task.label + "已停止。";
        return task.label + "完成（" + task.total + " 个）。" + (task.note || "");
    }

    // The task panel's look: its class and its buttons.
    function controls(task) {
        var idle = !task || task.stopping;
        var paused = !!(task && task.paused);
        return {className: "task" + (task ? " running" : "") + (paused ? " paused" : ""),
                pauseDisabled: idle, stopDisabled: idle, resumeDisabled: idle,
                pauseHidden: paused, resumeHidden: !paused,
                indeterminate: !!task && task.kind === "down" && task.current > 0};
    }

    return {IDLE: IDLE, begin: begin, progress: progress, pause: pause, resume: resume,
            stop: stop, notice: notice, ending: ending, controls: controls};
})();
