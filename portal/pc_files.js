// Files on the PC: a GPX or track file shown on the map (read in the page, a GPX in the
// encoding it declares), and what the program does with files the user chooses in the system's
// dialog: install a route book package or a GPX file, save a route book as GPX, back the
// navigator up and restore a backup.
var PortalPcFiles = (function () {
    "use strict";

    var X = PortalXml;
    var program = PortalBridge;
    var ui = PortalUi;
    var logEvent = PortalSettings.logEvent;

    // A GPX file as text in the encoding its first bytes declare (a GBK file from a Chinese
    // track site reads as GBK in both engines), a track file as bytes; then `done(content)`.
    function read(file, isGpx, done, failed) {
        var reader = new FileReader();
        reader.onerror = failed;
        if (!isGpx) {
            reader.onload = function () { done(reader.result); };
            reader.readAsArrayBuffer(file);
            return;
        }
        reader.onload = function () {
            var text = new FileReader();
            text.onerror = failed;
            text.onload = function () { done(String(text.result)); };
            text.readAsText(file, PortalFiles.gpxEncoding(new Uint8Array(reader.result)));
        };
        reader.readAsArrayBuffer(file.slice(0, PortalFiles.DECLARATION_BYTES));
    }

    // The route of a GPX or track file, handed to `done`; the user is told when there is none.
    function readRoute(file, done) {
        var isGpx = /\.gpx$/i.test(file.name);
        read(file, isGpx, function (content) {
            var route = null;
            try {
                route = isGpx ? PortalFiles.readGpx(content, file.name)
                              : PortalFiles.readTrk(content, file.name);
            } catch (e) {
                route = null;
            }
            if (!route) {
                ui.showMessage("“" + file.name + "”不是能显示的 " + (isGpx ? "GPX" : "轨迹") +
                               " 文件，或者里面没有位置。");
                return;
            }
            done(route);
        }, function () { ui.showMessage("“" + file.name + "”读不出来。"); });
    }

    function openFile(file) {
        readRoute(file, function (route) {
            PortalBooks.showOther(route, "电脑上的文件：" + file.name);
        });
    }

    // The program asks the user for the file in the system's dialog and answers
    // <pcfile status="..." file="..." name="..." dropped="...">message</pcfile>.
    function outcomeOf(answer) {
        if (answer === undefined) {
            ui.setConnected(false);
            ui.showMessage("未连接导航仪。");
            return null;
        }
        var root = X.find(X.parse(answer), "pcfile");
        if (!root) return null;
        var outcome = {status: root.attrs.status, file: root.attrs.file || "",
                       name: root.attrs.name || "", message: X.textOf(root)};
        if (outcome.status === "refused") ui.showMessage(outcome.message);
        return outcome;
    }

    // What the program started with the file the user chose (null: nothing, or a task runs).
    function started(method, argument) {
        if (PortalTasks.running()) {
            ui.showMessage("请等当前的任务结束。");
            return null;
        }
        var outcome = outcomeOf(method(argument));
        return outcome && outcome.status === "started" ? outcome : null;
    }

    // An installation the program has started: the import's progress, pause and stop.
    function install(method) {
        var outcome = started(method, "");
        if (!outcome) return;
        // What the navigator cannot keep is said now and again at the end.
        PortalTasks.adopt({kind: "down", verb: "安装", label: "安装路书", items: [outcome.name],
                           note: outcome.message});
        if (outcome.message) ui.showMessage(outcome.message);
        logEvent("开始安装 " + outcome.file + "（路书“" + outcome.name + "”）");
    }

    // What the last backup or restore did, when its task has ended.
    function backupOutcome() {
        var root = X.find(X.parse(program.backupOutcome() || ""), "backup");
        if (!root) return null;
        return {state: root.attrs.state, files: Number(root.attrs.files) || 0,
                unchanged: Number(root.attrs.unchanged) || 0,
                replaced: Number(root.attrs.replaced) || 0,
                kept: X.children(root, "kept").map(X.textOf),
                problem: X.textOf(X.child(root, "problem"))};
    }

    function report(message, done) {
        var outcome = backupOutcome();
        var text = message || (outcome && outcome.state === "finished" ? done(outcome) :
                               outcome && outcome.state === "stopped" ? "已停止。" : "没有完成。");
        if (message && outcome && outcome.problem) text += "（" + outcome.problem + "）";
        ui.showMessage(text);
        logEvent(text);
        return message ? null : outcome;
    }

    // A backup or restore the program has started: a progress message per file.
    function backupTask(label, verb, after) {
        PortalTasks.adopt({kind: "backup", verb: verb, noun: "文件", label: label, after: after});
    }

    function backup() {
        var outcome = started(program.backupToPC, "");
        if (!outcome) return;
        backupTask("备份导航仪", "备份", function (message) {
            report(message, function (o) {
                return "导航仪已备份到“" + outcome.file + "”（" + o.files + " 个文件）。";
            });
        });
    }

    function restore() {
        var outcome = started(program.restoreFromPC, "");
        if (!outcome) return;
        backupTask("恢复备份", "恢复", function (message) {
            report(message, function (o) {
                return "已从“" + outcome.file + "”恢复 " + o.files + " 个文件，" + o.unchanged +
                       " 个与备份相同" + (o.replaced ? "，替换了 " + o.replaced + " 个" : "") + "。";
            });
        });
    }

    // The running restore waits while the page asks whether to replace the files that differ
    // from the backup, and goes on as the user answers.
    function askReplace() {
        var asked = backupOutcome();
        var kept = asked ? asked.kept : [];
        var shown = kept.slice(0, 8).join("\n") + (kept.length > 8 ? "\n…" : "");
        ui.ask("导航仪上有 " + kept.length + " 个文件与备份里的不同：\n" + shown +
               "\n要用备份里的替换它们吗？",
               function () { program.restoreFromPC("replace"); },
               function () { program.restoreFromPC("keep"); });
    }

    function saveGpx() {
        var rbid = PortalBooks.chosen();
        if (rbid === null || rbid === undefined) return ui.showMessage("请先选择要存成 GPX 的路书。");
        var outcome = outcomeOf(program.saveGpxToPC(String(rbid)));
        if (!outcome || outcome.status !== "saved") return;
        ui.showMessage(outcome.message);
        logEvent("路书“" + outcome.name + "”存成 " + outcome.file);
    }

    return {openFile: openFile, readRoute: readRoute, outcomeOf: outcomeOf, install: install,
            backup: backup, saveGpx: saveGpx, restore: restore, askReplace: askReplace};
})();
