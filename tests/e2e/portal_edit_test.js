// The bundled page's route book editor without the page: every kind of edit undone and redone
// to the same document, the limits it shows, and the figures of a track.
"use strict";
const fs = require("fs");
const path = require("path");
const assert = require("assert");
const vm = require("vm");
for (const file of ["edit_state.js", "edit_limits.js", "edit_profile.js"])
    vm.runInThisContext(fs.readFileSync(path.join(process.argv[2], file), "utf8"));
const E = PortalEditState;

// A recorded track of three points on one meridian, a fast step and a standing one, with a
// route file.
function sample() {
    return {format: "vantu-route-book", formatVersion: 1, name: "Day1",
            route: {author: "Li", records: [{kind: "book", title: "Day1", lng: 0, lat: 0, text: ""},
                                            {kind: "poi", title: "Gate", lng: 11639000, lat: 3990000}]},
            track: {segments: [{start: [2009, 5, 1, 8, 0, 0],
                                points: [[11639000, 3990000, 0], [11639000, 3990010, 1000],
                                         [11639000, 3990011, 3000, 7, 1]]}]},
            sim: "AAAA"};
}

// Each edit: the document after it (a part, as JSON), and then undo and redo must give back
// the document before and after it exactly.
const edits = [
    ["move a point, keeping its other fields", (d) => E.movePoint(d, 0, 2, 11639005, 3990030),
     (d) => d.track.segments[0].points[2], [11639005, 3990030, 3000, 7, 1]],
    ["insert a point: it takes half the time to the next", (d) => E.insertPoint(d, 0, 2, 1, 2),
     (d) => d.track.segments[0].points.slice(2), [[1, 2, 1500], [11639000, 3990011, 1500, 7, 1]]],
    ["delete a point: the next takes its time", (d) => E.deletePoint(d, 0, 1),
     (d) => d.track.segments[0].points, [[11639000, 3990000, 0], [11639000, 3990011, 4000, 7, 1]]],
    ["delete the last point", (d) => E.deletePoint(d, 0, 2), (d) => d.track.segments[0].points.length, 2],
    ["lay a point after the last", (d) => E.appendPoint(d, 5, 6),
     (d) => d.track.segments[0].points[3], [5, 6, 1000]],
    ["lay the first point of a new document", (d) => { delete d.route; d.track.segments = []; return E.appendPoint(d, 5, 6); },
     (d) => d.track.segments, [{points: [[5, 6, 0]]}]],
    ["a header field of the route file", (d) => E.setHeader(d, "author", "Wang"), (d) => d.route.author, "Wang"],
    ["the title is the Book record's", (d) => E.setHeader(d, "title", "Day2"), (d) => d.route.records[0].title, "Day2"],
    ["a header field of a track without a route file", (d) => { delete d.route; return E.setHeader(d, "text", "x"); },
     (d) => d.route, {records: [{kind: "book", title: "", lng: 0, lat: 0, text: "x"}]}],
    ["add a Line", (d) => E.addRecord(d, "line", 7, 8), (d) => d.route.records[2], {kind: "line", title: "", lng: 7, lat: 8, text: ""}],
    ["add a POI to a track without a route file", (d) => { delete d.route; return E.addRecord(d, "poi", 7, 8); },
     (d) => d.route.records.length, 1],
    ["move a POI", (d) => E.changeRecord(d, 1, {lng: 1, lat: 2}), (d) => [d.route.records[1].lng, d.route.records[1].title], [1, "Gate"]],
    ["delete a POI", (d) => E.deleteRecord(d, 1), (d) => d.route.records.length, 1],
    ["complete a made book: the Book named, at the first point, a Line for the whole track",
     (d) => { d.route.records[0].title = ""; return E.completeMade(d, "Made20 and more of it", 2500); },
     (d) => [d.route.records[0].title, d.route.records[0].lng, d.route.records[0].mileage, d.route.records[2]],
     ["Made20 and more of ", 11639000, 2500, {kind: "line", title: "Made20 and more of ", lng: 11639000, lat: 3990000, mileage: 2500, text: ""}]],
];
for (const [name, make, part, expected] of edits) {
    const doc = sample();
    const edit = make(doc);
    const before = JSON.stringify(doc);
    let hist = E.perform(E.markSaved(E.history()), doc, edit);
    const after = JSON.stringify(doc);
    assert.deepStrictEqual(JSON.parse(JSON.stringify(part(doc))), expected, name);
    assert.ok(E.dirty(hist), name + ": dirty after the edit");
    hist = E.undo(hist, doc);
    assert.strictEqual(JSON.stringify(doc), before, name + ": undone");
    assert.ok(!E.dirty(hist) && E.canRedo(hist), name + ": clean after undo");
    hist = E.redo(hist, doc);
    assert.strictEqual(JSON.stringify(doc), after, name + ": redone");
    hist = E.perform(E.markSaved(hist), doc, E.setHeader(doc, "endCity", "X"));
    assert.ok(E.dirty(hist) && !E.canRedo(hist), name + ": a new edit drops what was undone");
}
assert.strictEqual(E.setHeader(sample(), "author", "Li"), null, "an unchanged field is no edit");

// The limits: [what, change of the sample, warnings' fields and whether the program refuses].
const limits = [
    ["nothing", () => {}, []],
    ["a title of 20 Chinese characters fits", (d) => { d.route.records[1].title = "长".repeat(20); }, []],
    ["a title of 19 characters and an emoji is 21 units", (d) => { d.route.records[1].title = "长".repeat(19) + "😀"; },
     ["route.records[1].title refused", "route.records[1].title"]],
    ["a title in units with half a pair", (d) => { d.route.records[1].title = [71, 0xD83D]; }, ["route.records[1].title"]],
    ["a city of 11 units", (d) => { d.route.startCity = "12345678901"; }, ["route.startCity refused"]],
    ["line breaks in a text, not in a title", (d) => { d.route.records[1].text = "a\r\nb\tc"; d.route.records[1].title = "a\nb"; },
     ["route.records[1].title"]],
    ["a NUL ends the text; at the end it is a terminator", (d) => { d.route.author = "Li\u0000\u0000"; d.route.endCity = "a\u0000b"; },
     ["route.endCity"]],
    ["characters outside GBK; Cyrillic and full-width forms are in it", (d) => { d.route.author = "Жｆ€"; d.route.endCity = "Ǻ"; },
     ["route.author", "route.endCity"]],
    ["a step beyond 16 bits", (d) => { d.track.segments[0].points[2][1] = 3990010 + 32768; },
     ["track.segments[0].points[2] refused"]],
    ["points the navigator passes over", (d) => { d.track.segments.push({points: [[100, 5, 0], [200, 1, 1000]]}); },
     ["track.segments"]],
];
for (const [name, change, expected] of limits) {
    const doc = sample();
    change(doc);
    const found = PortalEditLimits.check(doc).map((w) => w.field + (w.refused ? " refused" : ""));
    assert.deepStrictEqual(found, expected, name);
}
const unshown = PortalEditLimits.unshown("ab😀c😀", false);
assert.deepStrictEqual([unshown.count, unshown.unit], [2, 2], "a pair counts once, its place in units");

// The figures: a step of 10 units north is 11.12 m.
const figures = [
    ["a recorded track", sample(), {points: 3, distance: 12.2, recorded: true, duration: 4000, moving: 1000, maxSpeed: 11.12}],
    ["a drawn track has no times", (() => { const d = sample(); delete d.track.segments[0].start; return d; })(),
     {points: 3, distance: 12.2, recorded: false, duration: 0, moving: 0, maxSpeed: 0}],
];
for (const [name, doc, expected] of figures) {
    const f = PortalEditProfile.figures(doc);
    const got = {points: f.points, distance: Math.round(f.distance * 10) / 10, recorded: f.recorded,
                 duration: f.duration, moving: f.moving, maxSpeed: Math.round(f.maxSpeed * 100) / 100};
    assert.deepStrictEqual(got, expected, name);
}
const climb = sample();
climb.track.segments[0].points.forEach((p, i) => { p.ele = [100, 120, 110][i]; });
assert.deepStrictEqual(PortalEditProfile.figures(climb).altitude, {min: 100, max: 120, ascent: 20, descent: 10});
const long = {track: {segments: [{points: Array.from({length: 1001}, (_, i) => [0, i, 1000])}]}};
long.track.segments[0].start = [2020, 1, 1, 0, 0, 0];
const series = PortalEditProfile.profile(long, 100);
assert.strictEqual(series.kind, "speed");
assert.ok(series.samples.length <= 101 && series.samples[series.samples.length - 1].point === 1000,
          "the profile is thinned and ends at the last point");
console.log("editor: " + edits.length + " edits, " + limits.length + " limits, " + figures.length + " figures");
