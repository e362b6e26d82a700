// Route files from the PC, read in the page itself: GPX (tracks, routes and waypoints; the
// encoding to read one in) and the navigator's binary track files (.trk). Both give a route as
// the map draws it, coordinates in 0.00001 degree. Also the check of a saved place typed into
// the form.
var PortalFiles = (function () {
    "use strict";

    var X = PortalXml;
    var UNITS = 1e5;

    function route(name) {
        return {name: name, author: "", mileage: 0, startCity: "", endCity: "", updated: "",
                pois: [], lines: [], groups: [], description: ""};
    }

    // A GPX point, or null when its coordinates are missing or outside the earth.
    function gpxPoint(e) {
        var lat = Number(e.attrs.lat), lon = Number(e.attrs.lon);
        if (e.attrs.lat === undefined || e.attrs.lon === undefined || !isFinite(lat) ||
            !isFinite(lon) || Math.abs(lat) > 90 || Math.abs(lon) > 180)
            return null;
        var ele = X.child(e, "ele"), time = X.child(e, "time");
        return {lng: Math.round(lon * UNITS), lat: Math.round(lat * UNITS),
                title: X.textOf(X.child(e, "name")), content: X.textOf(X.child(e, "desc")),
                // For the editor's profile: metres, and milliseconds since 1970 (NaN: none).
                ele: ele && isFinite(parseFloat(X.textOf(ele))) ? parseFloat(X.textOf(ele)) : undefined,
                time: time ? Date.parse(X.textOf(time)) : NaN};
    }

    function points(parent, name) {
        return X.children(parent, name).map(gpxPoint).filter(Boolean);
    }

    function readGpx(text, fileName) {
        var gpx = X.find(X.parse(text), "gpx");
        if (!gpx) return null;
        var result = route(X.textOf(X.child(X.child(gpx, "metadata"), "name")) || fileName);
        X.children(gpx, "trk").forEach(function (trk, t) {
            if (!result.description) result.description = X.textOf(X.child(trk, "name"));
            X.children(trk, "trkseg").forEach(function (seg) {
                var pts = points(seg, "trkpt");
                if (pts.length) result.groups.push({id: String(t + 1), points: pts});
            });
        });
        X.children(gpx, "rte").forEach(function (rte) {
            result.lines = result.lines.concat(points(rte, "rtept"));
        });
        result.pois = points(gpx, "wpt");
        if (!result.groups.length && !result.lines.length && !result.pois.length) return null;
        return result;
    }

    // How much of a GPX file's start holds its XML declaration.
    var DECLARATION_BYTES = 512;
    // Declared encodings that the page reads as declared, by names that both engines know:
    // "gb2312" is the GBK decoder in WebKit and code page 936 (GBK) in IE.
    var ENCODINGS = {"utf-8": "utf-8", gbk: "gb2312", gb2312: "gb2312", "x-gbk": "gb2312",
                     cp936: "gb2312", gb18030: "gb18030", big5: "big5"};

    // The encoding to read a GPX file in, from its first bytes (a Uint8Array): after a UTF-8
    // byte order mark UTF-8, else the encoding its XML declaration names where it is one of
    // the above, else UTF-8, XML's own default.
    function gpxEncoding(bytes) {
        var start = "";
        for (var i = 0; i < bytes.length && i < DECLARATION_BYTES; i++)
            start += String.fromCharCode(bytes[i]);
        if (start.indexOf("\xEF\xBB\xBF") === 0) return "utf-8";
        var declared = /^\s*<\?xml\s[^>]*?\bencoding\s*=\s*["']([A-Za-z0-9._-]+)["']/.exec(start);
        var name = declared ? declared[1].toLowerCase() : "";
        return ENCODINGS.hasOwnProperty(name) ? ENCODINGS[name] : "utf-8";
    }

    var MAGIC = "SMG_TRACK";

    // The navigator's track file: a UTF-16 magic, a version (256: short records, above: long
    // ones) and segments of a start position and 16-bit steps. Reading stops quietly where the
    // file ends early, keeping the points read so far.
    function readTrk(buffer, fileName) {
        var data = new DataView(buffer);
        if (data.byteLength < 24) return null;
        for (var i = 0; i < 10; i++) {
            var unit = data.getUint16(i * 2, true);
            if (unit !== (i < MAGIC.length ? MAGIC.charCodeAt(i) : 0)) return null;
        }
        var version = data.getUint32(20, true);
        if (version < 256) return null;
        var long = version > 256;
        var headerSize = long ? 36 : 28, recordSize = long ? 10 : 8;
        var result = route(fileName);
        var at = 24;
        while (at + 4 <= data.byteLength && data.getInt32(at, true) !== 0) {
            at += 4;
            if (at + headerSize + 4 > data.byteLength) break;
            var lng = data.getInt32(at, true), lat = data.getInt32(at + 4, true);
            var lineId = long ? data.getInt32(at + 28, true) : 0;
            var count = data.getInt32(at + headerSize, true);
            at += headerSize + 4;
            if (count < 0) break;
            var group = {id: String(lineId), points: []};
            for (var k = 0; k < count && at + recordSize <= data.byteLength; k++, at += recordSize) {
                lng += data.getInt16(at, true);
                lat += data.getInt16(at + 2, true);
                // The navigator's own rule for points without a position fix.
                if (lng > 100 && lat > 1) group.points.push({lng: lng, lat: lat});
            }
            if (group.points.length) result.groups.push(group);
            if (k < count) break;
        }
        return result.groups.length ? result : null;
    }

    // A saved place from the form's texts: {lng, lat, name} in the program's units, or {error}.
    function checkPlace(nameText, lngText, latText) {
        var name = String(nameText).trim();
        if (!name) return {error: "请填写收藏点的名称。"};
        var number = /^\s*[+-]?(\d+(\.\d*)?|\.\d+)\s*$/;
        if (!number.test(lngText) || !number.test(latText))
            return {error: "经度和纬度要写成数字，例如 116.39123 和 39.90721。"};
        var lng = parseFloat(lngText), lat = parseFloat(latText);
        if (lng < -180 || lng > 180) return {error: "经度要在 -180 到 180 之间。"};
        if (lat < -90 || lat > 90) return {error: "纬度要在 -90 到 90 之间。"};
        return {name: name, lng: Math.round(lng * UNITS), lat: Math.round(lat * UNITS)};
    }

    return {readGpx: readGpx, readTrk: readTrk, checkPlace: checkPlace, gpxEncoding: gpxEncoding,
            DECLARATION_BYTES: DECLARATION_BYTES};
})();
