// The bundled page's readers of files from the PC (GPX, track files) and its check of places.
"use strict";
const fs = require("fs");
const path = require("path");
const assert = require("assert");
const vm = require("vm");
const dir = process.argv[2];
vm.runInThisContext(fs.readFileSync(path.join(dir, "xml.js"), "utf8"));
const F = vm.runInThisContext(fs.readFileSync(path.join(dir, "files.js"), "utf8") + "\nPortalFiles");

function coords(points) { return points.map(p => p.lng + "," + p.lat); }

// GPX: tracks by segment, routes, waypoints; points without a valid position are left out.
const gpx = F.readGpx(
    '<?xml version="1.0" encoding="UTF-8"?><gpx version="1.1" creator="t" ' +
    'xmlns="http://www.topografix.com/GPX/1/1"><metadata><name>Day &amp; night</name></metadata>' +
    '<wpt lat="39.9" lon="116.4"><name>Gate</name></wpt>' +
    '<wpt lat="39.8" lon="116.3"><name><![CDATA[West & <b>gate</b> &amp;]]></name></wpt>' +
    '<rte><rtept lat="40.0" lon="116.5"><name>Leg</name></rtept></rte>' +
    '<trk><name>Drive</name><trkseg><trkpt lat="39.90001" lon="116.40001"><ele>50</ele>' +
    '</trkpt><trkpt lat="91" lon="116"></trkpt><trkpt lat="39.9" lon="x"></trkpt>' +
    '<trkpt lat="-33.5" lon="-70.25"/></trkseg><trkseg></trkseg><trkseg><trkpt lat="1" lon="2"/>' +
    '</trkseg></trk></gpx>', "day.gpx");
assert.strictEqual(gpx.name, "Day & night");
assert.deepStrictEqual(gpx.groups.map(g => g.id + ":" + coords(g.points).join(" ")),
                       ["1:11640001,3990001 -7025000,-3350000", "1:200000,100000"]);
assert.deepStrictEqual(gpx.pois.map(p => p.title), ["Gate", "West & <b>gate</b> &amp;"]);
assert.deepStrictEqual(coords(gpx.lines), ["11650000,4000000"]);
for (const text of ["", "<html></html>", '<gpx><trk><trkseg></trkseg></trk></gpx>'])
    assert.strictEqual(F.readGpx(text, "x.gpx"), null, text);
assert.strictEqual(F.readGpx('<gpx><trk><trkseg><trkpt lat="1" lon="2"/></trkseg></trk></gpx>',
                             "plain.gpx").name, "plain.gpx");

// The encoding a GPX file is read in, from its first bytes.
const bytes = text => Uint8Array.from(Buffer.from(text, "latin1"));
const declared = '<?xml version="1.0" encoding=';
for (const [start, expected] of [
    [declared + '"GBK"?><gpx>', "gb2312"], [declared + "'gb2312' standalone=\"yes\"?>", "gb2312"],
    ["\n  " + declared + '"GB18030"?>', "gb18030"], [declared + '"Big5"?>', "big5"],
    [declared + '"UTF-8"?>', "utf-8"],
    ['<?xml version="1.0"?><gpx creator="encoding=\'gbk\'">', "utf-8"],
    [declared + '"x-mac-chinesesimp"?>', "utf-8"], ["\xEF\xBB\xBF" + declared + '"GBK"?>', "utf-8"],
    ['<gpx><name encoding="gbk">', "utf-8"], ["", "utf-8"]])
    assert.strictEqual(F.gpxEncoding(bytes(start)), expected, JSON.stringify(start));

// Track files, built field by field.
function trk(version, segments, cut) {
    const bytes = [];
    const u16 = v => bytes.push(v & 255, (v >> 8) & 255);
    const i32 = v => { for (let k = 0; k < 4; k++) bytes.push((v >> (8 * k)) & 255); };
    for (let i = 0; i < 10; i++) u16(i < 9 ? "SMG_TRACK".charCodeAt(i) : 0);
    i32(version);
    const long = version > 256;
    for (const s of segments) {
        i32(1);
        i32(s.lng); i32(s.lat); i32(0);
        for (let k = 0; k < 6; k++) u16(0);
        i32(0);
        if (long) { i32(s.lineId); i32(0); }
        i32(s.steps.length);
        for (const [dx, dy] of s.steps) { u16(dx); u16(dy); u16(0); u16(1000); if (long) u16(0); }
    }
    i32(0);
    const out = Uint8Array.from(bytes);
    return out.buffer.slice(0, cut === undefined ? out.length : cut);
}
const seg = {lng: 11640000, lat: 3990000, lineId: 3, steps: [[10, -5], [-20, 7]]};
const cases = [
    ["short layout", trk(256, [seg]), ["0:11640010,3989995 11639990,3990002"]],
    ["long layout, line numbers", trk(257, [seg, Object.assign({}, seg, {lineId: 4})]),
     ["3:11640010,3989995 11639990,3990002", "4:11640010,3989995 11639990,3990002"]],
    // Points before the first fix are dropped but their steps count.
    ["no fix yet", trk(256, [{lng: 0, lat: 0, steps: [[100, 1], [1, 1], [5, 5]]}]),
     ["0:101,2 106,7"]],
    ["cut inside a point", trk(256, [seg], 24 + 4 + 28 + 4 + 8 + 3), ["0:11640010,3989995"]],
    ["version 255", trk(255, [seg]), null],
    ["not a track", new ArrayBuffer(64), null],
    ["too short", new ArrayBuffer(10), null],
];
for (const [what, buffer, expected] of cases) {
    const r = F.readTrk(buffer, "t.trk");
    assert.deepStrictEqual(r && r.groups.map(g => g.id + ":" + coords(g.points).join(" ")),
                           expected, what);
}

// Places: a name, and coordinates on the earth.
const places = [
    [" Gate & garden ", "116.39123", "39.90721", {name: "Gate & garden", lng: 11639123, lat: 3990721}],
    ["Edge", "-180", "90", {name: "Edge", lng: -18000000, lat: 9000000}],
    ["", "116", "39", "请填写收藏点的名称。"],
    ["A", "180.00001", "0", "经度要在 -180 到 180 之间。"],
    ["A", "0", "-90.5", "纬度要在 -90 到 90 之间。"],
    ["A", "116abc", "39", "经度和纬度要写成数字，例如 116.39123 和 39.90721。"],
    ["A", "", "39", "经度和纬度要写成数字，例如 116.39123 和 39.90721。"],
    ["A", "1e3", "39", "经度和纬度要写成数字，例如 116.39123 和 39.90721。"],
];
for (const [name, lng, lat, expected] of places) {
    const r = F.checkPlace(name, lng, lat);
    assert.deepStrictEqual(r.error || r, expected, name + " " + lng + " " + lat);
}
console.log("portal file readers: all cases passed");
