// The route book editor's document and its history, as pure functions: the document is the
// program's editing document (docs/edit-document.md) as JSON gives it, and every edit is data,
// a splice of a list or a change of a field addressed by its path in the document, that applies
// to the document and turns round to be undone. Nothing here touches the page, so that it runs
// under node too. Coordinates are the document's integers in 0.00001 degree; a track point is
// [lng, lat, ms, ...] with the milliseconds since the point before.
var PortalEditState = (function () {
    "use strict";

    // What a point laid by hand says it took from the one before: a point a second, as the
    // navigator records.
    var LAID_MS = 1000;
    var MAX_MS = 65535;

    function newDocument(title) {
        return {format: "vantu-route-book", formatVersion: 1, name: "",
                route: {records: [{kind: "book", title: title || "", lng: 0, lat: 0, text: ""}]},
                track: {segments: []}};
    }

    // The container at `path` (a list of keys) below `doc`.
    function at(doc, path) {
        var node = doc;
        for (var i = 0; i < path.length; i++) node = node[path[i]];
        return node;
    }

    function apply(doc, edit) {
        if (edit.kind === "group") {
            edit.edits.forEach(function (e) { apply(doc, e); });
        } else if (edit.kind === "splice") {
            var list = at(doc, edit.path);
            list.splice.apply(list, [edit.index, edit.removed.length].concat(edit.inserted));
        } else {
            var owner = at(doc, edit.path.slice(0, -1)), key = edit.path[edit.path.length - 1];
            if (edit.to === undefined) delete owner[key];
            else owner[key] = edit.to;
        }
    }

    function invert(edit) {
        if (edit.kind === "group")
            return {kind: "group", edits: edit.edits.slice().reverse().map(invert)};
        if (edit.kind === "splice")
            return {kind: "splice", path: edit.path, index: edit.index, removed: edit.inserted,
                    inserted: edit.removed};
        return {kind: "set", path: edit.path, from: edit.to, to: edit.from};
    }

    function splice(path, index, removed, inserted) {
        return {kind: "splice", path: path, index: index, removed: removed, inserted: inserted};
    }

    function set(doc, path, value) {
        var owner = at(doc, path.slice(0, -1));
        return {kind: "set", path: path, from: owner[path[path.length - 1]], to: value};
    }

    // ---- the history ---------------------------------------------------------------------------

    // {done, undone, saved}: `saved` is the edit on top of `done` when the document was last
    // opened or saved, so that undoing back to it makes the document clean again.
    function history() { return {done: [], undone: [], saved: null}; }

    function top(list) { return list.length ? list[list.length - 1] : null; }

    // Applies `edit` to `doc` and answers the new history (null edits change nothing).
    function perform(hist, doc, edit) {
        if (!edit) return hist;
        apply(doc, edit);
        return {done: hist.done.concat([edit]), undone: [], saved: hist.saved};
    }

    function undo(hist, doc) {
        var edit = top(hist.done);
        if (!edit) return hist;
        apply(doc, invert(edit));
        return {done: hist.done.slice(0, -1), undone: hist.undone.concat([edit]), saved: hist.saved};
    }

    function redo(hist, doc) {
        var edit = top(hist.undone);
        if (!edit) return hist;
        apply(doc, edit);
        return {done: hist.done.concat([edit]), undone: hist.undone.slice(0, -1), saved: hist.saved};
    }

    // The document as it stood after `edit` (by default the last one) is the one saved.
    function markSaved(hist, edit) {
        return {done: hist.done, undone: hist.undone, saved: edit === undefined ? top(hist.done) : edit};
    }

    function dirty(hist) { return top(hist.done) !== hist.saved; }

    // ---- edits of the track --------------------------------------------------------------------

    function pointsPath(s) { return ["track", "segments", s, "points"]; }

    // A copy of a point with changes to its first three fields; what rides on it besides (an
    // altitude from a GPX file) comes along, JSON leaves it out.
    function changed(point, lng, lat, ms) {
        var copy = point.slice();
        copy[0] = lng;
        copy[1] = lat;
        copy[2] = ms;
        if (point.ele !== undefined) copy.ele = point.ele;
        return copy;
    }

    function movePoint(doc, s, i, lng, lat) {
        var p = doc.track.segments[s].points[i];
        return splice(pointsPath(s), i, [p], [changed(p, lng, lat, p[2])]);
    }

    // A point laid after the last one; the first of a document without a segment starts one.
    function appendPoint(doc, lng, lat) {
        var segments = doc.track.segments;
        if (!segments.length) {
            return {kind: "group", edits: [splice(["track", "segments"], 0, [], [{points: []}]),
                                           splice(pointsPath(0), 0, [], [[lng, lat, 0]])]};
        }
        var s = segments.length - 1, n = segments[s].points.length;
        return splice(pointsPath(s), n, [], [[lng, lat, n ? LAID_MS : 0]]);
    }

    // A point put before point i (on the segment from i - 1 to i): it takes half of the time
    // between them, so that the track's duration stays.
    function insertPoint(doc, s, i, lng, lat) {
        var next = doc.track.segments[s].points[i];
        var half = Math.floor(next[2] / 2);
        return splice(pointsPath(s), i, [next],
                      [[lng, lat, half], changed(next, next[0], next[1], next[2] - half)]);
    }

    // The point after a deleted one takes its time as far as a step can hold it.
    function deletePoint(doc, s, i) {
        var points = doc.track.segments[s].points, p = points[i], next = points[i + 1];
        if (!next) return splice(pointsPath(s), i, [p], []);
        var ms = i ? Math.min(MAX_MS, next[2] + p[2]) : p[2];
        return splice(pointsPath(s), i, [p, next], [changed(next, next[0], next[1], ms)]);
    }

    // ---- edits of the records and the header ---------------------------------------------------

    var BOOK_FIELDS = {title: true, text: true};

    // A document without a route file (a recorded track) gets one with its first edit of one.
    function withRoute(doc, edit) {
        if (doc.route) return edit;
        return {kind: "group", edits: [set(doc, ["route"], {records: []}), edit]};
    }

    function bookIndex(doc) {
        var records = (doc.route && doc.route.records) || [];
        for (var i = 0; i < records.length; i++) if (records[i].kind === "book") return i;
        return -1;
    }

    function replaceRecord(doc, i, changes) {
        var record = doc.route.records[i], copy = {}, key;
        for (key in record) if (record.hasOwnProperty(key)) copy[key] = record[key];
        for (key in changes) if (changes.hasOwnProperty(key)) copy[key] = changes[key];
        return splice(["route", "records"], i, [record], [copy]);
    }

    // A header field: the title and the description are the Book record's, the rest the route
    // file's. Null when nothing changes.
    function setHeader(doc, field, value) {
        var current = header(doc)[field];
        if (current === value) return null;
        if (!BOOK_FIELDS[field]) {
            if (!doc.route) return withRoute(doc, {kind: "set", path: ["route", field], to: value});
            return set(doc, ["route", field], value);
        }
        var b = bookIndex(doc);
        var changes = {};
        changes[field] = value;
        if (b >= 0) return replaceRecord(doc, b, changes);
        var book = {kind: "book", title: "", lng: 0, lat: 0, text: ""};
        book[field] = value;
        return withRoute(doc, splice(["route", "records"], 0, [], [book]));
    }

    // Text of a field as the document gives it: a string, or its UTF-16 units as numbers where
    // it holds half of a surrogate pair.
    function text(value) {
        if (typeof value === "string") return value;
        if (!value) return "";
        return value.map(function (u) { return String.fromCharCode(u); }).join("");
    }

    function header(doc) {
        var route = doc.route || {};
        var b = bookIndex(doc), book = b >= 0 ? route.records[b] : {};
        return {title: text(book.title), author: text(route.author),
                startCity: text(route.startCity), endCity: text(route.endCity),
                text: text(book.text)};
    }

    function addRecord(doc, kind, lng, lat) {
        var records = doc.route ? doc.route.records || [] : [];
        var edit = splice(["route", "records"], records.length, [],
                          [{kind: kind, title: "", lng: lng, lat: lat, text: ""}]);
        if (doc.route && !doc.route.records) edit = {kind: "group", edits: [set(doc, ["route", "records"], []), edit]};
        return withRoute(doc, edit);
    }

    // What a route book made in the page needs before it is written, as the program's own
    // conversions make it: the Book record at the first track point with the track's length,
    // titled `name` (the route book's name on the navigator) when it has no title, and, without
    // a Line, one Line for the whole track (the navigator draws a route book's track by its
    // Lines; without one it shows none). Null when nothing is missing.
    function completeMade(doc, name, mileage) {
        var b = bookIndex(doc), segment = doc.track.segments[0];
        if (b < 0 || !segment || !segment.points.length) return null;
        var book = doc.route.records[b], edits = [];
        var place = {lng: segment.points[0][0], lat: segment.points[0][1], mileage: mileage};
        // 19 units, as the program's conversions leave the title's last unit NUL.
        var title = text(book.title) || name.slice(0, 19).replace(/[\ud800-\udbff]$/, "");
        if (!text(book.title)) place.title = title;
        if (book.lng !== place.lng || book.lat !== place.lat || book.mileage !== mileage || place.title)
            edits.push(replaceRecord(doc, b, place));
        if (!doc.route.records.filter(function (r) { return r.kind === "line"; }).length) {
            edits.push(splice(["route", "records"], doc.route.records.length, [],
                              [{kind: "line", title: title, lng: place.lng, lat: place.lat,
                                mileage: mileage, text: ""}]));
        }
        return edits.length ? {kind: "group", edits: edits} : null;
    }

    function deleteRecord(doc, i) {
        return splice(["route", "records"], i, [doc.route.records[i]], []);
    }

    // ---- a route the page read (a GPX file) as a document --------------------------------------

    // A segment of the route's points: with their times where they all have one (the segment
    // then starts at the first one's local time, steps longer than a step holds are cut to it),
    // else as laid by hand; altitudes ride along for the profile.
    function segmentOf(points) {
        var timed = points.every(function (p) { return isFinite(p.time); });
        var segment = {points: points.map(function (p, i) {
            var ms = !i ? 0 : timed ? Math.max(0, Math.min(MAX_MS, p.time - points[i - 1].time)) : LAID_MS;
            var point = [p.lng, p.lat, ms];
            if (p.ele !== undefined) point.ele = p.ele;
            return point;
        })};
        if (timed) {
            var d = new Date(points[0].time);
            segment.start = [d.getFullYear(), d.getMonth() + 1, d.getDate(), d.getHours(),
                             d.getMinutes(), d.getSeconds()];
        }
        return segment;
    }

    function recordOf(kind) {
        return function (p) {
            return {kind: kind, title: p.title || "", lng: p.lng, lat: p.lat, text: p.content || ""};
        };
    }

    function fromRoute(route) {
        var doc = newDocument(route.name);
        doc.route.records[0].text = route.description || "";
        doc.route.records = doc.route.records.concat(route.pois.map(recordOf("poi")),
                                                     route.lines.map(recordOf("line")));
        doc.track.segments = route.groups.map(function (g) { return segmentOf(g.points); });
        var first = doc.track.segments.length && doc.track.segments[0].points[0];
        if (first) {
            doc.route.records[0].lng = first[0];
            doc.route.records[0].lat = first[1];
        }
        return doc;
    }

    return {newDocument: newDocument, fromRoute: fromRoute, apply: apply, invert: invert,
            history: history, perform: perform, undo: undo, redo: redo, markSaved: markSaved,
            dirty: dirty, canUndo: function (h) { return h.done.length > 0; },
            canRedo: function (h) { return h.undone.length > 0; },
            movePoint: movePoint, appendPoint: appendPoint, insertPoint: insertPoint,
            deletePoint: deletePoint, header: header, setHeader: setHeader, text: text,
            addRecord: addRecord, deleteRecord: deleteRecord,
            changeRecord: replaceRecord, completeMade: completeMade};
})();
