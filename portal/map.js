// The route book map on a grid of longitudes and latitudes: the track of the print list, the
// route book's points of interest and legs, and the navigator's saved places, drawn on a
// canvas. The page shows it where no map tiles can be had (tiles.js draws over tiles).
// Coordinates are the program's integers in 0.00001 degree.
var RouteMap = (function () {
    "use strict";

    var UNIT = 1e-5;                 // degrees per coordinate unit
    var METRES_PER_UNIT = 1.11195;   // along a meridian
    var TRACK_COLOURS = ["#d9534f", "#2f7ed8", "#3a9d5d", "#8e5bb5", "#e08a1e", "#1aa3a3"];

    function RouteMap(canvas) {
        this.canvas = canvas;
        this.route = null;
        this.places = [];
        this.selected = null;
        // Beijing, a few hundred kilometres wide, until there is something to show.
        this.aspect = Math.cos(39.9 * Math.PI / 180);
        this.view = {x: 11639000 * this.aspect, y: -3990000, scale: 0.004};
        this.onSelect = null;
        // Rectangles of what lies over the map (cards, legend, buttons), in canvas pixels: the
        // grid's labels keep clear of them.
        this.covered = function () { return []; };
        // Room that fit() leaves free at each side, for what lies over the map.
        this.insets = {top: 40, right: 60, bottom: 70, left: 40};
        this.installInput();
        this.resize();
    }

    RouteMap.prototype.resize = function () {
        var ratio = window.devicePixelRatio || 1;
        var rect = this.canvas.getBoundingClientRect();
        this.width = Math.max(1, rect.width);
        this.height = Math.max(1, rect.height);
        this.canvas.width = Math.round(this.width * ratio);
        this.canvas.height = Math.round(this.height * ratio);
        this.ratio = ratio;
        this.draw();
    };

    RouteMap.prototype.setRoute = function (route) {
        this.route = route;
        this.selected = null;
        if (route) this.fit();
        this.draw();
    };

    RouteMap.prototype.setPlaces = function (places) {
        this.places = places || [];
        this.draw();
    };

    // Every located point of a route book (none without one): its track, points of interest
    // and legs. The tile map fits to the same points.
    RouteMap.routePoints = function (route) {
        var points = [];
        if (route) {
            route.groups.forEach(function (g) { points = points.concat(g.points); });
            points = points.concat(route.pois, route.lines);
        }
        return points.filter(function (p) { return p.lng || p.lat; });
    };

    // Shows everything of the route book, or the saved places when no route book is shown.
    RouteMap.prototype.fit = function () {
        var points = RouteMap.routePoints(this.route);
        if (!points.length) points = this.places.filter(function (p) { return p.lng || p.lat; });
        if (!points.length) return;
        var minLng = Infinity, maxLng = -Infinity, minLat = Infinity, maxLat = -Infinity;
        points.forEach(function (p) {
            minLng = Math.min(minLng, p.lng); maxLng = Math.max(maxLng, p.lng);
            minLat = Math.min(minLat, p.lat); maxLat = Math.max(maxLat, p.lat);
        });
        this.aspect = Math.cos((minLat + maxLat) / 2 * UNIT * Math.PI / 180) || 1;
        var spanX = Math.max((maxLng - minLng) * this.aspect, 200);
        var spanY = Math.max(maxLat - minLat, 200);
        var inset = this.insets;
        var freeWidth = Math.max(this.width - inset.left - inset.right, 40);
        var freeHeight = Math.max(this.height - inset.top - inset.bottom, 40);
        this.view.scale = Math.min(freeWidth / spanX, freeHeight / spanY);
        // The middle of the route lies in the middle of the free part of the map.
        this.view.x = (minLng + maxLng) / 2 * this.aspect -
                      (inset.left - inset.right) / 2 / this.view.scale;
        this.view.y = -(minLat + maxLat) / 2 - (inset.top - inset.bottom) / 2 / this.view.scale;
        this.draw();
    };

    // Moves the map so that a point lies in its middle, and selects it.
    RouteMap.prototype.centreOn = function (item, kind) {
        if (!(item.lng || item.lat)) return;
        this.view.x = item.lng * this.aspect;
        this.view.y = -item.lat;
        this.selected = {kind: kind, item: item};
        this.draw();
        if (this.onSelect) this.onSelect(this.selected);
    };

    RouteMap.prototype.toScreen = function (p) {
        return {
            x: (p.lng * this.aspect - this.view.x) * this.view.scale + this.width / 2,
            y: (-p.lat - this.view.y) * this.view.scale + this.height / 2
        };
    };

    RouteMap.prototype.toWorld = function (x, y) {
        return {
            lng: Math.round(((x - this.width / 2) / this.view.scale + this.view.x) / this.aspect),
            lat: Math.round(-((y - this.height / 2) / this.view.scale + this.view.y))
        };
    };

    RouteMap.prototype.zoom = function (factor, x, y) {
        if (x === undefined) { x = this.width / 2; y = this.height / 2; }
        var before = this.toWorld(x, y);
        this.view.scale = Math.min(Math.max(this.view.scale * factor, 1e-6), 50);
        var after = this.toWorld(x, y);
        this.view.x -= (after.lng - before.lng) * this.aspect;
        this.view.y += after.lat - before.lat;
        this.draw();
    };

    RouteMap.prototype.installInput = function () {
        var map = this;
        var drag = null;
        this.canvas.addEventListener("mousedown", function (e) {
            if (e.button === 0) drag = {x: e.clientX, y: e.clientY, moved: false};
        });
        window.addEventListener("mousemove", function (e) {
            if (!drag) return;
            var dx = e.clientX - drag.x, dy = e.clientY - drag.y;
            if (Math.abs(dx) + Math.abs(dy) > 2) drag.moved = true;
            map.view.x -= dx / map.view.scale;
            map.view.y -= dy / map.view.scale;
            drag.x = e.clientX;
            drag.y = e.clientY;
            map.draw();
        });
        window.addEventListener("mouseup", function (e) {
            if (drag && !drag.moved) {
                var r = map.canvas.getBoundingClientRect();
                map.pick(e.clientX - r.left, e.clientY - r.top);
            }
            drag = null;
        });
        // Cancellable without an options object: this listener is on an element, not on the
        // document, and IE11 would take such an object for the capture flag.
        this.canvas.addEventListener("wheel", function (e) {
            e.preventDefault();
            var r = map.canvas.getBoundingClientRect();
            map.zoom(e.deltaY < 0 ? 1.25 : 0.8, e.clientX - r.left, e.clientY - r.top);
        });
    };

    // The marker nearest to a click, within 10 pixels.
    RouteMap.prototype.pick = function (x, y) {
        var best = null, bestDistance = 10;
        var map = this;
        var markers = [];
        if (this.route) {
            this.route.pois.forEach(function (p) { markers.push({kind: "poi", item: p}); });
            this.route.lines.forEach(function (p) { markers.push({kind: "line", item: p}); });
        }
        this.places.forEach(function (p) { markers.push({kind: "place", item: p}); });
        markers.forEach(function (m) {
            var s = map.toScreen(m.item);
            var d = Math.sqrt((s.x - x) * (s.x - x) + (s.y - y) * (s.y - y));
            if (d < bestDistance) { best = m; bestDistance = d; }
        });
        this.selected = best;
        this.draw();
        if (this.onSelect) this.onSelect(best);
    };

    function niceStep(raw) {
        var power = Math.pow(10, Math.floor(Math.log(raw) / Math.LN10));
        var steps = [1, 2, 5, 10];
        for (var i = 0; i < steps.length; i++) if (steps[i] * power >= raw) return steps[i] * power;
        return 10 * power;
    }

    function overlaps(a, b) {
        return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    }

    // Draws a label unless it would lie under something or run off the map.
    RouteMap.prototype.freeLabel = function (ctx, text, x, y, taken) {
        var box = {left: x - 2, top: y - 11, right: x + ctx.measureText(text).width + 2, bottom: y + 3};
        if (box.left < 0 || box.right > this.width || box.top < 0 || box.bottom > this.height) return;
        for (var i = 0; i < taken.length; i++) if (overlaps(box, taken[i])) return;
        ctx.fillText(text, x, y);
    };

    RouteMap.prototype.drawGrid = function (ctx) {
        var topLeft = this.toWorld(0, 0), bottomRight = this.toWorld(this.width, this.height);
        var stepDegrees = niceStep(120 / this.view.scale * UNIT);
        var step = stepDegrees / UNIT;
        ctx.strokeStyle = "rgba(90, 110, 140, 0.16)";
        ctx.fillStyle = "rgba(60, 72, 92, 0.55)";
        ctx.font = "11px sans-serif";
        ctx.lineWidth = 1;
        var digits = Math.max(0, -Math.floor(Math.log(stepDegrees) / Math.LN10));
        var taken = this.covered().concat([this.scaleBox()]);
        // The longitudes along the top edge and the latitudes along the right one: the legend
        // and the route book's card lie at the left.
        for (var lng = Math.ceil(topLeft.lng / step) * step; lng <= bottomRight.lng; lng += step) {
            var x = this.toScreen({lng: lng, lat: 0}).x;
            ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, this.height); ctx.stroke();
            this.freeLabel(ctx, hemisphere(lng * UNIT, digits, "E", "W"), x + 3, 14, taken);
        }
        ctx.textAlign = "left";
        for (var lat = Math.ceil(bottomRight.lat / step) * step; lat <= topLeft.lat; lat += step) {
            var y = this.toScreen({lng: 0, lat: lat}).y;
            ctx.beginPath(); ctx.moveTo(0, y); ctx.lineTo(this.width, y); ctx.stroke();
            var text = hemisphere(lat * UNIT, digits, "N", "S");
            this.freeLabel(ctx, text, this.width - ctx.measureText(text).width - 56, y - 3, taken);
        }
    };

    function hemisphere(degrees, digits, positive, negative) {
        return Math.abs(degrees).toFixed(digits) + "°" + (degrees < 0 ? negative : positive);
    }

    RouteMap.prototype.scaleGeometry = function () {
        var metresPerPixel = METRES_PER_UNIT / this.view.scale;
        var metres = niceStep(metresPerPixel * 110);
        var pixels = metres / metresPerPixel;
        return {metres: metres, pixels: pixels, x: this.width - pixels - 20, y: this.height - 22};
    };

    RouteMap.prototype.scaleBox = function () {
        var g = this.scaleGeometry();
        return {left: g.x - 8, top: g.y - 16, right: g.x + g.pixels + 8, bottom: g.y + 10};
    };

    RouteMap.prototype.drawScale = function (ctx) {
        var g = this.scaleGeometry();
        var metres = g.metres, pixels = g.pixels, x = g.x, y = g.y;
        ctx.fillStyle = "rgba(255,255,255,0.8)";
        ctx.fillRect(x - 8, y - 16, pixels + 16, 26);
        ctx.strokeStyle = "#334";
        ctx.lineWidth = 2;
        ctx.beginPath(); ctx.moveTo(x, y - 4); ctx.lineTo(x, y); ctx.lineTo(x + pixels, y);
        ctx.lineTo(x + pixels, y - 4); ctx.stroke();
        ctx.fillStyle = "#334";
        ctx.font = "11px sans-serif";
        ctx.textAlign = "center";
        ctx.fillText(metres >= 1000 ? metres / 1000 + " 公里" : metres + " 米", x + pixels / 2, y - 5);
        ctx.textAlign = "left";
    };

    function label(ctx, text, x, y) {
        if (!text) return;
        ctx.font = "12px sans-serif";
        var w = ctx.measureText(text).width;
        ctx.fillStyle = "rgba(255,255,255,0.85)";
        ctx.fillRect(x + 8, y - 9, w + 8, 17);
        ctx.fillStyle = "#223";
        ctx.fillText(text, x + 12, y + 4);
    }

    RouteMap.prototype.drawTrack = function (ctx) {
        var map = this;
        this.route.groups.forEach(function (group, g) {
            if (group.points.length < 2) return;
            ctx.strokeStyle = "rgba(255,255,255,0.9)";
            ctx.lineWidth = 7;
            ctx.lineJoin = ctx.lineCap = "round";
            ctx.beginPath();
            group.points.forEach(function (p, i) {
                var s = map.toScreen(p);
                if (i) ctx.lineTo(s.x, s.y); else ctx.moveTo(s.x, s.y);
            });
            ctx.stroke();
            ctx.strokeStyle = TRACK_COLOURS[g % TRACK_COLOURS.length];
            ctx.lineWidth = 4;
            ctx.stroke();
        });
        var all = [];
        this.route.groups.forEach(function (g) { all = all.concat(g.points); });
        if (all.length) {
            [[all[0], "#2e9b4f", "起"], [all[all.length - 1], "#c9302c", "终"]].forEach(function (m) {
                var s = map.toScreen(m[0]);
                ctx.fillStyle = m[1];
                ctx.beginPath(); ctx.arc(s.x, s.y, 10, 0, 2 * Math.PI); ctx.fill();
                ctx.fillStyle = "#fff";
                ctx.font = "bold 11px sans-serif";
                ctx.textAlign = "center";
                ctx.fillText(m[2], s.x, s.y + 4);
                ctx.textAlign = "left";
            });
        }
    };

    RouteMap.prototype.drawMarkers = function (ctx) {
        var map = this;
        var selected = this.selected && this.selected.item;
        if (this.route) {
            this.route.pois.forEach(function (p) {
                var s = map.toScreen(p);
                ctx.fillStyle = p === selected ? "#f0ad4e" : "#2f6fb5";
                ctx.strokeStyle = "#fff";
                ctx.lineWidth = 2;
                ctx.beginPath(); ctx.arc(s.x, s.y, 6, 0, 2 * Math.PI); ctx.fill(); ctx.stroke();
                label(ctx, p.title, s.x, s.y);
            });
            this.route.lines.forEach(function (p, i) {
                var s = map.toScreen(p);
                ctx.fillStyle = p === selected ? "#f0ad4e" : "#e07b24";
                ctx.strokeStyle = "#fff";
                ctx.lineWidth = 2;
                ctx.beginPath();
                ctx.moveTo(s.x, s.y - 8); ctx.lineTo(s.x + 8, s.y); ctx.lineTo(s.x, s.y + 8);
                ctx.lineTo(s.x - 8, s.y); ctx.closePath(); ctx.fill(); ctx.stroke();
                ctx.fillStyle = "#fff";
                ctx.font = "bold 9px sans-serif";
                ctx.textAlign = "center";
                ctx.fillText(String(i + 1), s.x, s.y + 3);
                ctx.textAlign = "left";
                label(ctx, p.title, s.x + 2, s.y);
            });
        }
        this.places.forEach(function (p) {
            var s = map.toScreen(p);
            ctx.fillStyle = p === selected ? "#f0ad4e" : "#7a4fb0";
            ctx.beginPath();
            for (var k = 0; k < 10; k++) {
                var r = k % 2 ? 3.5 : 8, a = Math.PI / 5 * k - Math.PI / 2;
                ctx.lineTo(s.x + r * Math.cos(a), s.y + r * Math.sin(a));
            }
            ctx.closePath(); ctx.fill();
            if (!map.route) label(ctx, p.name, s.x, s.y);
        });
    };

    RouteMap.prototype.draw = function () {
        var ctx = this.canvas.getContext("2d");
        ctx.setTransform(this.ratio, 0, 0, this.ratio, 0, 0);
        var sea = ctx.createLinearGradient(0, 0, 0, this.height);
        sea.addColorStop(0, "#eef3ea");
        sea.addColorStop(1, "#e3ebe0");
        ctx.fillStyle = sea;
        ctx.fillRect(0, 0, this.width, this.height);
        this.drawGrid(ctx);
        if (this.route) this.drawTrack(ctx);
        this.drawMarkers(ctx);
        this.drawScale(ctx);
    };

    return RouteMap;
})();
