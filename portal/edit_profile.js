// The figures and the profile of a document's track, as pure functions: distance and points,
// and for a recorded track (its segments carry their start time) the time, the time in motion
// and the speeds; the altitude where the points carry one (a GPX file's). The profile is the
// series the chart draws, distance against altitude, else against speed, thinned to what a
// small chart can show, each sample knowing its point so that the map can mark it.
var PortalEditProfile = (function () {
    "use strict";

    var UNIT = 1e-5;
    var EARTH_RADIUS = 6371008.8;  // metres, the mean radius
    var MOVING = 0.5;              // m/s: slower steps count as standing
    var STEADY_MS = 1000;          // shorter steps are left out of the top speed: GPS jitter

    function radians(units) { return units * UNIT * Math.PI / 180; }

    // The great-circle distance in metres between two points.
    function metres(a, b) {
        var lat1 = radians(a[1]), lat2 = radians(b[1]);
        var dLat = lat2 - lat1, dLng = radians(b[0] - a[0]);
        var h = Math.sin(dLat / 2) * Math.sin(dLat / 2) +
                Math.cos(lat1) * Math.cos(lat2) * Math.sin(dLng / 2) * Math.sin(dLng / 2);
        return 2 * EARTH_RADIUS * Math.asin(Math.min(1, Math.sqrt(h)));
    }

    function recorded(segment) {
        return !!(segment.start && segment.start[0]);
    }

    // Walks every step of the track: visit(point, before or null, segment index, point index,
    // metres from the start).
    function walk(doc, visit) {
        var along = 0;
        ((doc.track && doc.track.segments) || []).forEach(function (segment, s) {
            var points = segment.points;
            for (var i = 0; i < points.length; i++) {
                var before = i ? points[i - 1] : null;
                if (before) along += metres(before, points[i]);
                visit(points[i], before, s, i, along);
            }
        });
        return along;
    }

    // {points, segments, distance (m), recorded, duration and moving (ms), averageSpeed,
    // movingSpeed, maxSpeed (m/s), altitude ({min, max, ascent, descent} in m, or null), along
    // (each point's metres from the start, in track order)}.
    function figures(doc) {
        var segments = (doc.track && doc.track.segments) || [];
        var result = {points: 0, segments: segments.length, distance: 0,
                      recorded: segments.some(recorded), duration: 0, moving: 0,
                      averageSpeed: 0, movingSpeed: 0, maxSpeed: 0, altitude: null};
        var movingMetres = 0, alt = null, lastEle = null, along = [];
        result.distance = walk(doc, function (p, before, s, i, metresAlong) {
            along.push(metresAlong);
            result.points++;
            if (p.ele !== undefined) {
                if (!alt) alt = {min: p.ele, max: p.ele, ascent: 0, descent: 0};
                alt.min = Math.min(alt.min, p.ele);
                alt.max = Math.max(alt.max, p.ele);
                if (lastEle !== null && p.ele > lastEle) alt.ascent += p.ele - lastEle;
                if (lastEle !== null && p.ele < lastEle) alt.descent += lastEle - p.ele;
                lastEle = p.ele;
            }
            if (!before || !p[2]) return;
            var d = metres(before, p), speed = d / (p[2] / 1000);
            result.duration += p[2];
            if (speed >= MOVING) {
                result.moving += p[2];
                movingMetres += d;
            }
            if (p[2] >= STEADY_MS) result.maxSpeed = Math.max(result.maxSpeed, speed);
        });
        if (!result.recorded) {
            result.duration = result.moving = result.maxSpeed = 0;
        } else {
            if (result.duration) result.averageSpeed = result.distance / (result.duration / 1000);
            if (result.moving) result.movingSpeed = movingMetres / (result.moving / 1000);
        }
        result.altitude = alt;
        result.along = along;
        return result;
    }

    // The chart's series: {kind: "altitude" (m), "speed" (km/h) or null when the track has
    // neither, samples: [{x (km), y, segment, point}]}, at most `most` samples evenly along the
    // points, the last point always among them. `fig`: the document's figures, when known.
    function profile(doc, most, fig) {
        fig = fig || figures(doc);
        var kind = fig.altitude ? "altitude" : fig.recorded ? "speed" : null;
        var samples = [];
        if (!kind) return {kind: null, samples: samples};
        var stride = Math.max(1, Math.ceil(fig.points / Math.max(2, most)));
        var n = 0;
        // Only the samples' steps are measured again: the distances are the figures'.
        ((doc.track && doc.track.segments) || []).forEach(function (segment, s) {
            var points = segment.points;
            for (var i = 0; i < points.length; i++, n++) {
                if (n % stride !== 0 && n !== fig.points - 1) continue;
                var p = points[i], before = points[i - 1], y;
                if (kind === "altitude") {
                    if (p.ele === undefined) continue;
                    y = p.ele;
                } else {
                    y = before && p[2] ? metres(before, p) / (p[2] / 1000) * 3.6 : 0;
                }
                samples.push({x: fig.along[n] / 1000, y: Math.round(y * 10) / 10, segment: s, point: i});
            }
        });
        return {kind: kind, samples: samples};
    }

    return {metres: metres, figures: figures, profile: profile};
})();
