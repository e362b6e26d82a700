// The bundled page's task state machine: what a transfer shows as it starts, steps, pauses,
// stops and ends, run as sequences of events.
"use strict";
const fs = require("fs");
const path = require("path");
const assert = require("assert");
const vm = require("vm");
const S = vm.runInThisContext(fs.readFileSync(path.join(process.argv[2], "task_state.js"), "utf8") +
                              "\nPortalTaskState");

// Each event's trace: the state line and the bar, "refused", what a message means, the text at
// the end, or the buttons that can be used ("pause resume stop", "-" for a hidden one, "x" for
// a disabled one).
function run(events) {
    let task = null;
    return events.map(([what, ...args]) => {
        if (what === "notice") return S.notice(task, ...args);
        if (what === "ending") return S.ending(task, ...args);
        if (what === "controls") {
            const c = S.controls(task);
            const button = (name, hidden, disabled) => hidden ? "-" : disabled ? "x" : name;
            const buttons = [button("pause", c.pauseHidden, c.pauseDisabled),
                             button("resume", c.resumeHidden, c.resumeDisabled),
                             button("stop", false, c.stopDisabled)];
            return buttons.join(" ") + (c.indeterminate ? " ~" : "");
        }
        const step = what === "begin" ? S.begin(...args) : S[what](task, ...args);
        if (!step) return "refused";
        task = step.task;
        const text = step.text === undefined ? "(unchanged)" : step.text;
        return step.width === undefined ? text : text + " " + step.width + "%";
    });
}

const down = {kind: "down", label: "下载路书到导航仪", items: ["A", "B"],
              urls: ["http://s/a", "http://s/b"]};
const network = "下载路书失败，网络异常！";
const scenarios = [
    ["a download whose second package fails on the network", [
        ["begin", down], ["controls"], ["progress", "1", "down"], ["controls"],
        ["progress", "2", "down"], ["notice", "程序暂时很忙，请稍候再试！", 1], ["notice", network, 4, 4],
        ["notice", " " + network + " ", 4, 0]],
     ["下载路书到导航仪：准备中…", "pause - stop", "正在下载第 1 个路书“A”（共 2 个） 0%",
      "pause - stop ~", "正在下载第 2 个路书“B”（共 2 个） 50%", {show: "程序暂时很忙，请稍候再试！"},
      {end: "“B”：" + network}, {end: "“B”：" + network, check: "http://s/b", missing: "“B”：下载失败，服务器上没有这个路书。"}]],
    ["an upload paused, stepping on unseen, resumed", [
        ["begin", {kind: "updata", label: "上传路书", items: ["A", "B"]}], ["progress", "1", "updata"],
        ["pause"], ["pause"], ["controls"], ["progress", "2", "updata"], ["resume"], ["resume"],
        ["notice", "上传失败"], ["notice", ""], ["ending", ""]],
     ["上传路书：准备中…", "正在上传第 1 个路书“A”（共 2 个） 0%", "上传路书：已暂停", "refused",
      "- resume stop", "(unchanged) 50%", "上传路书：继续…", "refused", {end: "“B”：上传失败"},
      {end: ""}, "上传路书完成（2 个）。"]],
    ["a deletion stopped while paused", [
        ["begin", {kind: "delete", label: "删除路书", items: ["A"]}], ["pause"], ["stop"], ["controls"],
        ["progress", "1", "delete"], ["ending", ""]],
     ["删除路书：准备中…", "删除路书：已暂停", "删除路书：正在停止…", "x - x", "(unchanged) 0%",
      "删除路书已停止。"]],
    ["steps of a task the page did not start, then its message", [
        ["controls"], ["stop"], ["notice", "无任务"], ["progress", "2", "delete"],
        ["progress", "3", "delete"]],
     ["x - x", "refused", {show: "无任务"}, "正在删除第 2 个路书（共 2 个） 50%",
      "正在删除第 3 个路书（共 2 个） 100%"]],
    ["a backup counts files without a total", [
        ["begin", {kind: "backup", verb: "备份", noun: "文件", label: "备份导航仪"}],
        ["progress", "7", "backup"], ["ending", "磁盘满了"]],
     ["备份导航仪：准备中…", "正在备份第 7 个文件 0%", "磁盘满了"]],
    ["an installation says its note again at the end", [
        ["begin", {kind: "down", verb: "安装", label: "安装路书", items: ["R"], note: "去掉 1 个点。"}],
        ["progress", "1"], ["ending", ""]],
     ["安装路书：准备中…", "正在安装第 1 个路书“R”（共 1 个） 0%", "安装路书完成（1 个）。去掉 1 个点。"]],
];
for (const [what, events, expected] of scenarios)
    assert.deepStrictEqual(run(events), expected, what);
console.log("portal task states: all cases passed");
