// How the grid map (RouteMap, map.js) draws itself on its canvas: the grid of longitudes and
// latitudes with labels that keep clear of what lies over the map, the scale, the track in its
// colours with its start and end, the points of interest, the legs and the saved places.
(function () {
    "use strict";

    var UNIT = 1e-5;                 // degrees per coordinate unit
    var METRES_PER_UNIT = 1.11195;   // along a meridian
    var TRACK_COLOURS = ["#d9534f", "#2f7ed8", "#3a9d5d", "#8e5bb5", "#e08a1e", "#1aa3a3"];

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
})();
