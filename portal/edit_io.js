// The editor's way in and out through the program: a route book of the navigator, or a package
// or GPX file the user picks in the system's dialog, read as the editing document; a GPX file
// read in the page (with its altitudes, for the profile); the document written to the navigator
// as a route book (a task with progress, pause and stop; a name the navigator has already is
// asked about) or saved on the PC as a package or a GPX file through the system's dialog.
// The program answers a reading with JSON, a save as it answers its other methods for files on
// the PC (pc_files.js).
var PortalEditIo = (function () {
    "use strict";

    var program = PortalBridge;
    var ui = PortalUi;
    var S = PortalEditState;

    // The program's answer to a reading as an object; null, said to the user, without a
    // navigator or when it refused.
    function readingOf(text) {
        if (text === undefined) {
            ui.setConnected(false);
            ui.showMessage("未连接导航仪。");
            return null;
        }
        var answer;
        try {
            answer = JSON.parse(text);
        } catch (e) {
            answer = {refused: "程序的回答读不出来。"};
        }
        if (answer.refused) ui.showMessage(answer.refused);
        return answer.refused || answer.cancelled ? null : answer;
    }

    // The history says how long a route book took from the click until it was drawn, and
    // until it was saved: the editor's speed on large route books, as users meet it.
    function logTime(what, since) {
        var ms = new Date().getTime() - since, points = 0;
        PortalEditor.current().doc.track.segments.forEach(function (s) { points += s.points.length; });
        PortalSettings.logEvent(what + "（" + points + " 个轨迹点，" + ms + " 毫秒）");
    }

    function openAnswer(text, label, since) {
        var answer = readingOf(text);
        if (!answer) return;
        var name = label(S.text(answer.document.name));
        PortalEditor.open(answer.document, {label: name, navigatorName: answer.navigatorName || ""},
                          answer.limits);
        if (answer.notes && answer.notes.length) ui.showMessage(answer.notes.join("；"));
        // Drawn once the frame after this one comes.
        window.requestAnimationFrame(function () { logTime("打开" + name + "来编辑", since); });
    }

    function openBook() {
        var since = new Date().getTime();
        var rbid = PortalBooks.chosen();
        if (rbid === null || rbid === undefined) return ui.showMessage("请先在路书列表里选择要编辑的路书。");
        PortalEditor.leave(function () {
            openAnswer(program.editRouteBook(String(rbid)), function (name) {
                return "导航仪上的“" + name + "”";
            }, since);
        });
    }

    function openPackage() {
        PortalEditor.leave(function () {
            var since = new Date().getTime();
            openAnswer(program.editRouteBook("package"), function (name) { return "电脑上的“" + name + "”"; }, since);
        });
    }

    function openGpx(file) {
        PortalEditor.leave(function () {
            PortalPcFiles.readRoute(file, function (route) {
                // A file without a name of its own is named after the file, less its extension.
                route.name = route.name.replace(/\.(gpx|trk)$/i, "");
                PortalEditor.open(S.fromRoute(route), {label: "电脑上的“" + file.name + "”", made: true}, null);
            });
        });
    }

    // A document made in the page is completed before it is written (PortalEditState's
    // completeMade); one read from a route book keeps its own records, as they were.
    function completeBook(current) {
        if (!current.source.made) return;
        var mileage = Math.round(PortalEditProfile.figures(current.doc).distance);
        PortalEditor.perform(S.completeMade(current.doc, current.name, mileage));
    }

    // The document as JSON in ASCII alone: the page's texts reach the program in the system's
    // code page, which would turn every character beyond it into "?"; JSON's escapes carry any.
    function asciiJson(doc) {
        return JSON.stringify(doc).replace(/[\u007f-\uffff]/g, function (c) {
            return "\\u" + ("000" + c.charCodeAt(0).toString(16)).slice(-4);
        });
    }

    var BAD_NAME = /[<>&%\\\/:*?"|\u0000-\u001f]/;

    function saveToNavigator() {
        var since = new Date().getTime();
        var current = PortalEditor.current();
        if (!current) return;
        if (PortalTasks.running()) return ui.showMessage("请等当前的任务结束。");
        var name = current.name;
        if (!name || BAD_NAME.test(name) || /^\.|[. ]$/.test(name))
            return ui.showMessage("请填写路书在导航仪上的名称，不能有 < > & % \\ / : * ? \" | 这些字符。");
        completeBook(current);
        current = PortalEditor.current();
        var opened = current.source.navigatorName || "";
        send(opened.toLowerCase() === name.toLowerCase() ? "replace" : "");

        // The request: the name, "replace" or nothing, then the document, on lines of their own.
        function send(replace) {
            var answer = PortalPcFiles.outcomeOf(program.saveEditToPDA(
                name + "\n" + replace + "\n" + asciiJson(current.doc)));
            if (answer && answer.status === "present") {
                return ui.ask("导航仪上已经有叫“" + name + "”的路书，要替换它吗？", function () { send("replace"); });
            }
            if (!answer || answer.status !== "started") return;
            PortalTasks.adopt({kind: "down", verb: "写入", label: "把路书存到导航仪", items: [name],
                               after: function (message, task) {
                                   if (message || task.stopping) return ui.showMessage(message || "已停止，导航仪上的路书没有变。");
                                   PortalEditor.saved({label: "导航仪上的“" + name + "”", navigatorName: name,
                                                       made: current.source.made},
                                                      current.edit);
                                   ui.showMessage("路书“" + name + "”已存到导航仪。");
                                   logTime("路书“" + name + "”已存到导航仪", since);
                               }});
        }
    }

    // `format`: "package" or "gpx".
    function saveToPc(format) {
        var current = PortalEditor.current();
        if (!current) return;
        completeBook(current);
        current = PortalEditor.current();
        var answer = PortalPcFiles.outcomeOf(program.saveEditToPC(format + "\n" + asciiJson(current.doc)));
        if (!answer || answer.status !== "saved") return;
        PortalEditor.saved(current.source, current.edit);
        ui.showMessage(answer.message || "已存为 " + answer.file);
        PortalSettings.logEvent("编辑的路书存为 " + answer.file);
    }

    return {openBook: openBook, openPackage: openPackage, openGpx: openGpx,
            saveToNavigator: saveToNavigator, saveToPc: saveToPc};
})();
