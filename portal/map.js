// The route book map on a grid of longitudes and latitudes: the track of the print list, the
// route book's points of interest and legs, and the navigator's saved places, drawn on a
// canvas. The page shows it where no map tiles can be had (tiles.js draws over tiles). This
// file holds its view (fitting, centring, zooming, dragging, picking a marker); map_draw.js
// draws it. Coordinates are the program's integers in 0.00001 degree.
var RouteMap = (function () {
    "use strict";

    var UNIT = 1e-5;  // degrees per coordinate unit

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

    return RouteMap;
})();
