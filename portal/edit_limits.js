// What the navigator and the file cannot take of a document being edited, shown while the user
// edits, never refused here: texts longer than their fixed fields (in UTF-16 units, as the route
// file stores them), characters the navigator cannot show (it draws GBK), counts of records,
// segments and points, points too far apart for a track step, and points the navigator passes
// over. The limits are the program's (docs/edit-document.md; it hands them with each document);
// these are the same numbers for a document made in the page. Pure functions, run under node too.
var PortalEditLimits = (function () {
    "use strict";

    var DEFAULTS = {records: 10000, segments: 65536, points: 1000000, titleUnits: 20,
                    authorUnits: 32, cityUnits: 10, textUnits: 65535, pictureUnits: 259,
                    step: [-32768, 32767], shownAbove: {lng: 100, lat: 1}};
    var MAX_WARNINGS = 100;

    // The characters of GBK beyond ASCII, as the program finds them with the system's GBK
    // converter: ranges given as base-36 pairs "gap.length-1", the gap counted from the end of
    // the range before (from U+007F for the first).
    var GBK_RANGES = (function () {
        var coded =
        "10.0 2.1 7.1 5.0 v.0 8.1 6.2 1.1 4.1 3.0 1.1 1.0 4.0 h.0 7.0 f.0 o.0 3.0 4.0 t.0 2q.0 " +
        "1.0 1.0 1.0 1.0 1.0 1.0 1.0 38.0 f.0 2t.0 1.2 d.0 53.g 1.6 7.g 1.6 1j.0 e.1r 1.0 " +
        "5ha.0 2.3 1.1 2.1 7.1 9.0 1.1 1.0 5.0 5j.0 1.0 3.0 c.0 a.0 1q.b 4.9 m.3 2.3 32.0 6.0 " +
        "1.0 3.0 4.0 2.3 2.0 1.0 1.4 2.0 5.3 5.0 a.0 3.0 5.0 d.1 2.3 6.1 11.0 3.0 b.0 p.0 2a.0 " +
        "99.9 a.13 2s.23 4.z d.e 3.2 a.1 g.1 8.1 8.1 3.0 2.1 i.3 v.1 2.0 1i.0 1.0 1x9.3 1.i " +
        "5.1 2.8 n.2a 7.3 2.2d 5.2 6.10 6u.9 7.0 35.0 6i.1 c.2 2.0 y.0 9.0 2.1 2.0 562.g4l " +
        "hom.0 24.0 r.0 29.0 9.0 q.3 1.0 1.1 3.0 6.2 1.1 2.2 sm.1 1.h 4.9 1.3 1.d 1.3 45.2l " +
        "3l.5";
        var ranges = [], end = 0x7F;
        coded.split(" ").forEach(function (pair) {
            var parts = pair.split(".");
            var start = end + 1 + parseInt(parts[0], 36);
            end = start + parseInt(parts[1], 36);
            ranges.push([start, end]);
        });
        return ranges;
    })();

    function gbkHolds(code) {
        if (code < 0x80) return true;
        var low = 0, high = GBK_RANGES.length - 1;
        while (low <= high) {
            var middle = (low + high) >> 1, range = GBK_RANGES[middle];
            if (code < range[0]) high = middle - 1;
            else if (code > range[1]) low = middle + 1;
            else return true;
        }
        return false;
    }

    function limits(given) {
        var result = {}, key;
        for (key in DEFAULTS) if (DEFAULTS.hasOwnProperty(key)) result[key] = DEFAULTS[key];
        for (key in given || {}) if (given.hasOwnProperty(key)) result[key] = given[key];
        return result;
    }

    function hex(code) { return "U+" + ("000" + code.toString(16).toUpperCase()).slice(-4); }

    // The characters of `text` the navigator cannot show, as the program counts them: {count,
    // unit (of the first, from 0), why} or null. Tab and line breaks are allowed where the text
    // runs over several lines; a NUL ends the text on the navigator.
    function unshown(text, severalLines) {
        var found = null;
        function note(unit, why) {
            if (found) found.count++;
            else found = {count: 1, unit: unit, why: why};
        }
        var nul = text.indexOf("\u0000");
        var shown = nul < 0 ? text : text.slice(0, nul);
        for (var i = 0; i < shown.length; i++) {
            var c = shown.charCodeAt(i);
            var pair = c >= 0xD800 && c < 0xDC00 && i + 1 < shown.length &&
                       shown.charCodeAt(i + 1) >= 0xDC00 && shown.charCodeAt(i + 1) < 0xE000;
            if (pair) {
                note(i, "不在导航仪的字库（GBK）里");
                i++;
            } else if (c >= 0xD800 && c < 0xE000) {
                note(i, "是半个字符");
            } else if (c < 0x20 || c === 0x7F) {
                if (!(severalLines && (c === 9 || c === 10 || c === 13))) note(i, "是控制字符");
            } else if (!gbkHolds(c)) {
                note(i, hex(c) + " 不在导航仪的字库（GBK）里");
            }
        }
        if (nul >= 0 && /[^\u0000]/.test(text.slice(nul))) note(nul, "是 NUL，导航仪在那里结束这段文字");
        return found;
    }

    var KINDS = {book: "路书", poi: "兴趣点", line: "路线"};

    // The warnings of a document: {field (the path the program names too), text, where
    // ({record} or {segment, point}: what to show), refused (the program refuses to write it)}.
    function check(doc, given) {
        var lim = limits(given), warnings = [], more = 0;
        function warn(field, text, where, refused) {
            if (warnings.length < MAX_WARNINGS) {
                warnings.push({field: field, text: text, where: where || null, refused: !!refused});
            } else {
                more++;
            }
        }
        function field(path, label, value, units, severalLines, where) {
            var text = PortalEditState.text(value);
            var stored = text.replace(/\u0000+$/, "").length;
            if (stored > units)
                warn(path, label + "有 " + stored + " 个字（UTF-16 单位），最多 " + units + " 个", where, true);
            var bad = unshown(text, severalLines);
            if (bad)
                warn(path, label + "有 " + bad.count + " 个字符导航仪显示不了：第 " + (bad.unit + 1) +
                     " 个" + bad.why, where);
        }
        var route = doc.route;
        if (route) {
            field("route.author", "作者", route.author, lim.authorUnits);
            field("route.startCity", "起点城市", route.startCity, lim.cityUnits);
            field("route.endCity", "终点城市", route.endCity, lim.cityUnits);
            field("route.headerText", "文件头的文字", route.headerText, lim.textUnits, true);
            var records = route.records || [];
            if (records.length > lim.records)
                warn("route.records", records.length + " 条记录，最多 " + lim.records + " 条", null, true);
            records.forEach(function (r, i) {
                var path = "route.records[" + i + "].", where = {record: i};
                var label = (KINDS[r.kind] || "记录") + (r.kind === "book" ? "" : " " + (i + 1));
                field(path + "title", label + "的名称", r.title, lim.titleUnits, false, where);
                field(path + "text", label + "的说明", r.text, lim.textUnits, true, where);
                field(path + "picture", label + "的图片名", r.picture, lim.pictureUnits, false, where);
            });
        }
        checkTrack(doc.track, lim, warn);
        if (more) warn("", "还有 " + more + " 条提示");
        return warnings;
    }

    function checkTrack(track, lim, warn) {
        var segments = (track && track.segments) || [], total = 0, hidden = 0, firstHidden = null;
        if (segments.length > lim.segments)
            warn("track.segments", segments.length + " 段轨迹，最多 " + lim.segments + " 段", null, true);
        segments.forEach(function (segment, s) {
            var points = segment.points;
            total += points.length;
            for (var i = 0; i < points.length; i++) {
                var p = points[i], before = points[i - 1];
                if (!(p[0] > lim.shownAbove.lng && p[1] > lim.shownAbove.lat)) {
                    if (!hidden++) firstHidden = {segment: s, point: i};
                }
                if (before && (outside(p[0] - before[0], lim.step) || outside(p[1] - before[1], lim.step))) {
                    warn("track.segments[" + s + "].points[" + i + "]", "第 " + (s + 1) + " 段的第 " + (i + 1) +
                         " 个点离上一个点太远（每步最多约 0.33 度），请在中间加点",
                         {segment: s, point: i}, true);
                }
            }
        });
        if (total > lim.points)
            warn("track.segments", total + " 个轨迹点，最多 " + lim.points + " 个", null, true);
        if (hidden)
            warn("track.segments", hidden + " 个轨迹点在导航仪显示的范围以外（东经 0.001 度以西或北纬 0.00001 度以南）",
                 firstHidden);
    }

    function outside(delta, step) { return delta < step[0] || delta > step[1]; }

    return {limits: limits, gbkHolds: gbkHolds, unshown: unshown, check: check};
})();
