// The route book editor (the 编辑 tab): a document made new, opened from the navigator or read
// from a GPX file, on a map of its own with its profile under it; its header fields, the chosen
// POI or Line, every edit undone and redone (buttons, Ctrl+Z and Ctrl+Y), the limits while
// editing and the track's figures; unsaved changes asked about before they would be lost. The
// document and its edits are PortalEditState's; reading and saving through the program,
// edit_io.js's.
var PortalEditor = (function () {
    "use strict";

    var S = PortalEditState;
    var ui = PortalUi;
    var $ = ui.$;

    var doc = null, hist = null, limits = null, source = null, selected = null;
    var map = null, chart = null, visible = false;

    // The header's inputs and the document's fields they edit, with the limit of each.
    var HEADER = [["editTitle", "title", "titleUnits"], ["editAuthor", "author", "authorUnits"],
                  ["editStartCity", "startCity", "cityUnits"], ["editEndCity", "endCity", "cityUnits"],
                  ["editText", "text", "textUnits"]];
    var KINDS = {poi: "兴趣点", line: "路线点"};
    var HINTS = {track: "在地图上依次点击，画出轨迹。拖动点可以移动，拖动两点之间的小点可以插入，点一下点就删除它。",
                 poi: "在地图上点击，放一个兴趣点；拖动可以移动。",
                 line: "在地图上点击，放一个路线点；拖动可以移动。",
                 "": "拖动轨迹上的点可以移动，拖动两点之间的小点可以插入，点一下点就删除它。"};

    function ensureMap() {
        if (map) return;
        map = new PortalEditMap($("editMap"), {
            tiles: PortalMap.tilesUrl(), onEdit: perform,
            onSelect: function (i) { selected = i; render(); },
            onNote: function (text) { $("editNote").textContent = text; $("editNote").hidden = !text; }
        });
        chart = new PortalEditChart($("profileChart"), function (s, i) { map.markPoint(s, i); });
    }

    // Shows the editor's map in place of the viewer's while the tab is shown.
    function show(yes) {
        visible = yes;
        var on = yes && doc !== null;
        $("editMap").hidden = !on;
        $("profile").hidden = !on || !chart || !chart.chart;
        if (on) map.resize();
    }

    function record() {
        return selected === null || !doc.route ? null : doc.route.records[selected] || null;
    }

    function units(value, most) { return value.length + " / " + most; }

    function renderFields() {
        var header = S.header(doc);
        HEADER.forEach(function (h) {
            var input = $(h[0]);
            if (document.activeElement !== input) input.value = header[h[1]];
            $(h[0] + "Units").textContent = units(input.value, limits[h[2]]);
        });
        var r = record();
        $("editRecord").hidden = !r;
        if (!r) return;
        $("editRecordKind").textContent = (KINDS[r.kind] || "记录") + "（" + ui.degrees(r.lng) + ", " +
                                          ui.degrees(r.lat) + "）";
        if (document.activeElement !== $("editRecordTitle")) $("editRecordTitle").value = S.text(r.title);
        if (document.activeElement !== $("editRecordText")) $("editRecordText").value = S.text(r.text);
        $("editRecordTitleUnits").textContent = units($("editRecordTitle").value, limits.titleUnits);
    }

    function renderWarnings() {
        var list = $("editWarnings");
        list.innerHTML = "";
        PortalEditLimits.check(doc, limits).forEach(function (w) {
            var item = ui.el("li", w.refused ? "refused" : "", w.text);
            if (w.where && w.where.record !== undefined) {
                ui.listItem(item, function () { selected = w.where.record; render(); });
            }
            list.appendChild(item);
        });
    }

    function duration(ms) {
        var minutes = Math.round(ms / 60000);
        return Math.floor(minutes / 60) + " 小时 " + minutes % 60 + " 分";
    }

    function renderFigures(f) {
        var facts = [(f.distance / 1000).toFixed(2) + " 公里", f.points + " 个轨迹点" +
                     (f.segments > 1 ? "（" + f.segments + " 段）" : "")];
        if (f.recorded) {
            facts.push("用时 " + duration(f.duration), "移动 " + duration(f.moving),
                       "平均 " + (f.averageSpeed * 3.6).toFixed(1) + " 公里/小时",
                       "移动平均 " + (f.movingSpeed * 3.6).toFixed(1) + " 公里/小时",
                       "最快 " + (f.maxSpeed * 3.6).toFixed(1) + " 公里/小时");
        }
        if (f.altitude) {
            facts.push("海拔 " + Math.round(f.altitude.min) + "–" + Math.round(f.altitude.max) + " 米",
                       "爬升 " + Math.round(f.altitude.ascent) + " 米");
        }
        $("editFigures").textContent = facts.join(" · ");
    }

    var details = null;

    // The limits, the figures and the chart walk every point again: on a large route book they
    // run after the map has been drawn, on their own turn of the page, so that no one turn does
    // so much that IE11 asks whether to stop the script.
    function renderDetails() {
        details = null;
        if (!doc) return;
        renderWarnings();
        var figures = PortalEditProfile.figures(doc);
        renderFigures(figures);
        var charted = chart.show(doc, figures);
        $("profile").hidden = !charted || !visible;
        ui.setClass($("editMap"), "with-profile", charted);
        map.resize();
    }

    function render(opening) {
        if (opening) map.open(doc);
        else map.draw(doc, selected);
        renderFields();
        // After the frame that shows the map: the editor is seen and answers before the
        // figures of a large track have been worked out.
        var turn = details = {};
        window.requestAnimationFrame(function () {
            setTimeout(function () { if (details === turn) renderDetails(); }, 0);
        });
        $("editUndo").disabled = !S.canUndo(hist);
        $("editRedo").disabled = !S.canRedo(hist);
        $("editSource").textContent = (source.label || "新路书") + (S.dirty(hist) ? " · 未保存" : "");
    }

    function perform(edit) {
        if (!edit) return;
        var records = doc.route ? (doc.route.records || []).length : 0;
        hist = S.perform(hist, doc, edit);
        // A POI or Line just put is the one to name.
        var now = doc.route ? (doc.route.records || []).length : 0;
        if (now > records) selected = now - 1;
        else if (now < records || !record()) selected = null;
        render();
    }

    function undo() { hist = S.undo(hist, doc); if (!record()) selected = null; render(); }

    function redo() { hist = S.redo(hist, doc); if (!record()) selected = null; render(); }

    // Runs `then` when nothing unsaved would be lost, or the user agrees to lose it.
    function leave(then) {
        if (doc && S.dirty(hist)) ui.ask("编辑的路书还没有保存，要放弃这些修改吗？", then);
        else then();
    }

    // `opened`: {label (what the editor says it edits), navigatorName (the route book it
    // replaces on the navigator, or "")}; `given`: the program's limits, or null.
    function open(document, opened, given) {
        ensureMap();
        doc = document;
        hist = S.history();
        limits = PortalEditLimits.limits(given);
        source = opened;
        selected = null;
        $("editor").hidden = false;
        $("editName").value = opened.navigatorName || S.header(doc).title || "";
        setMode(opened.made && !doc.track.segments.length ? "track" : "");
        show(visible);
        render(true);
    }

    function close() {
        doc = null;
        $("editor").hidden = true;
        show(visible);
    }

    function setMode(mode) {
        map.setMode(mode);
        Array.prototype.forEach.call(document.querySelectorAll("#editModes button"), function (b) {
            ui.setClass(b, "active", b.getAttribute("data-mode") === mode);
        });
        $("editHint").textContent = HINTS[mode];
    }

    function typing(target) {
        return target && /^(INPUT|TEXTAREA)$/.test(target.tagName);
    }

    function wire() {
        HEADER.forEach(function (h) {
            $(h[0]).addEventListener("change", function () { perform(S.setHeader(doc, h[1], $(h[0]).value)); });
            $(h[0]).addEventListener("input", function () {
                $(h[0] + "Units").textContent = units($(h[0]).value, limits[h[2]]);
            });
        });
        [["editRecordTitle", "title"], ["editRecordText", "text"]].forEach(function (f) {
            $(f[0]).addEventListener("change", function () {
                var changes = {};
                changes[f[1]] = $(f[0]).value;
                if (record() && S.text(record()[f[1]]) !== changes[f[1]]) perform(S.changeRecord(doc, selected, changes));
            });
        });
        $("editRecordTitle").addEventListener("input", function () {
            $("editRecordTitleUnits").textContent = units(this.value, limits.titleUnits);
        });
        $("editRecordDelete").addEventListener("click", function () { perform(S.deleteRecord(doc, selected)); });
        $("editUndo").addEventListener("click", undo);
        $("editRedo").addEventListener("click", redo);
        $("editFit").addEventListener("click", function () { map.fit(); });
        Array.prototype.forEach.call(document.querySelectorAll("#editModes button"), function (b) {
            b.addEventListener("click", function () {
                var mode = b.getAttribute("data-mode");
                setMode(map.mode === mode ? "" : mode);
            });
        });
        $("editClose").addEventListener("click", function () { leave(close); });
        document.addEventListener("keydown", function (e) {
            if (!visible || !doc || !(e.ctrlKey || e.metaKey) || typing(e.target)) return;
            var key = String(e.key).toLowerCase();
            if (key === "z" && !e.shiftKey) undo();
            else if (key === "y" || (key === "z" && e.shiftKey)) redo();
            else return;
            e.preventDefault();
        });
        window.addEventListener("beforeunload", function (e) {
            if (!doc || !S.dirty(hist)) return undefined;
            e.returnValue = "编辑的路书还没有保存。";
            return e.returnValue;
        });
    }

    return {
        wire: wire, show: show, leave: leave, open: open,
        newBook: function () {
            leave(function () { open(S.newDocument(""), {label: "新路书", made: true}, null); });
        },
        // What is being edited, for saving it: null when nothing is open.
        current: function () {
            return doc && {doc: doc, source: source, name: $("editName").value.trim(),
                           edit: hist.done[hist.done.length - 1] || null};
        },
        perform: perform,
        // After a save of the document as it stood after `edit`: clean there, under what it
        // was saved as.
        saved: function (opened, edit) {
            hist = S.markSaved(hist, edit);
            source = opened;
            render();
        }
    };
})();
