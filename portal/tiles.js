// The route book map over map tiles, drawn by the map library (L): the track of the print list,
// the route book's points of interest and legs, and the navigator's saved places, with the
// same methods as the grid map (RouteMap), which the page falls back to without a network.
// Coordinates are the program's integers in 0.00001 degree.
var TileMap = (function () {
    "use strict";

    var UNIT = 1e-5;
    var TRACK_COLOURS = ["#d9534f", "#2f7ed8", "#3a9d5d", "#8e5bb5", "#e08a1e", "#1aa3a3"];
    var SELECTED = "#f0ad4e";

    // Whether the map library is there: the page works without it, on the grid.
    function available() {
        return typeof L !== "undefined" && typeof L.map === "function";
    }

    function latLng(p) { return [p.lat * UNIT, p.lng * UNIT]; }

    function located(p) { return !!(p.lng || p.lat); }

    function escapeHtml(text) {
        return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
            .replace(/"/g, "&quot;");
    }

    // `tiles`: {url: an address template with {z}, {x} and {y}, attribution: plain text}.
    function TileMap(container, tiles) {
        var self = this;
        this.container = container;
        this.route = null;
        this.places = [];
        this.selected = null;
        this.onSelect = null;
        this.onOffline = null;
        this.covered = function () { return []; };
        this.insets = {top: 40, right: 60, bottom: 70, left: 40};
        container.hidden = false;
        // No tap handler: it makes a left press of every pointer press, the right one included,
        // which would close the menu that a right click opens.
        this.map = L.map(container, {zoomControl: false, attributionControl: false, tap: false,
                                     worldCopyJump: true, minZoom: 2, maxZoom: 19});
        // Plain text: a link would take the program's one window away from the page.
        L.control.attribution({prefix: "Leaflet"}).addTo(this.map)
            .addAttribution(escapeHtml(tiles.attribution));
        L.control.scale({imperial: false, position: "bottomright"}).addTo(this.map);
        this.layer = L.tileLayer(tiles.url, {maxZoom: 19}).addTo(this.map);
        this.watchTiles();
        this.drawn = L.layerGroup().addTo(this.map);
        this.map.on("click", function () { self.select(null); });
        // Beijing, a few hundred kilometres wide, until there is something to show.
        this.map.setView([39.9, 116.39], 8);
    }

    TileMap.available = available;

    // Without a network no tile arrives: when the tiles of a view have all come back and none of
    // them with a picture, the page is told, once.
    TileMap.prototype.watchTiles = function () {
        var self = this, arrived = 0, failed = 0;
        this.layer.on("tileload", function () { arrived++; });
        this.layer.on("tileerror", function () { failed++; });
        this.layer.on("load", function () {
            if (arrived || !failed || !self.onOffline) return;
            var offline = self.onOffline;
            self.onOffline = null;
            offline();
        });
    };

    TileMap.prototype.remove = function () {
        this.map.remove();
        this.container.hidden = true;
    };

    TileMap.prototype.resize = function () { this.map.invalidateSize(); };

    TileMap.prototype.setRoute = function (route) {
        this.route = route;
        this.selected = null;
        this.draw();
        if (route) this.fit();
    };

    TileMap.prototype.setPlaces = function (places) {
        this.places = places || [];
        this.draw();
    };

    TileMap.prototype.select = function (marker) {
        this.selected = marker;
        this.draw();
        if (this.onSelect) this.onSelect(marker);
    };

    // Shows everything of the route book, or the saved places when no route book is shown.
    TileMap.prototype.fit = function () {
        var points = RouteMap.routePoints(this.route);
        if (!points.length) points = this.places.filter(located);
        if (!points.length) return;
        var inset = this.insets;
        this.map.fitBounds(L.latLngBounds(points.map(latLng)), {
            paddingTopLeft: [inset.left, inset.top], paddingBottomRight: [inset.right, inset.bottom],
            maxZoom: 17
        });
    };

    TileMap.prototype.centreOn = function (item, kind) {
        if (!located(item)) return;
        this.map.panTo(latLng(item));
        this.select({kind: kind, item: item});
    };

    TileMap.prototype.zoom = function (factor) {
        if (factor > 1) this.map.zoomIn();
        else this.map.zoomOut();
    };

    // The place at a point of the map, in the program's units.
    TileMap.prototype.toWorld = function (x, y) {
        var p = this.map.containerPointToLatLng([x, y]);
        return {lng: Math.round(p.lng / UNIT), lat: Math.round(p.lat / UNIT)};
    };

    function icon(className, html, size) {
        return L.divIcon({className: className, html: html || "", iconSize: [size, size]});
    }

    TileMap.prototype.marker = function (item, kind, options) {
        var self = this;
        var marker = options.icon ? L.marker(latLng(item), options) : L.circleMarker(latLng(item), options);
        marker.on("click", function (e) {
            L.DomEvent.stopPropagation(e);
            self.select({kind: kind, item: item});
        });
        var text = item.title || (kind === "place" && !this.route ? item.name : "");
        if (text) {
            marker.bindTooltip(text, {permanent: true, direction: "right", className: "map-label",
                                      offset: [8, 0]});
        }
        this.drawn.addLayer(marker);
    };

    TileMap.prototype.drawTrack = function () {
        var drawn = this.drawn;
        var all = [];
        this.route.groups.forEach(function (group, g) {
            var line = group.points.filter(located).map(latLng);
            all = all.concat(line);
            if (line.length < 2) return;
            drawn.addLayer(L.polyline(line, {color: "#fff", weight: 7, opacity: 0.9, interactive: false}));
            drawn.addLayer(L.polyline(line, {color: TRACK_COLOURS[g % TRACK_COLOURS.length], weight: 4,
                                             opacity: 1, interactive: false}));
        });
        if (!all.length) return;
        [[all[0], "start", "起"], [all[all.length - 1], "end", "终"]].forEach(function (m) {
            drawn.addLayer(L.marker(m[0], {icon: icon("map-end " + m[1], m[2], 20), interactive: false}));
        });
    };

    TileMap.prototype.draw = function () {
        var self = this;
        var selected = this.selected && this.selected.item;
        this.drawn.clearLayers();
        if (this.route) {
            this.drawTrack();
            this.route.pois.filter(located).forEach(function (p) {
                self.marker(p, "poi", {radius: 6, color: "#fff", weight: 2, fillOpacity: 1,
                                       fillColor: p === selected ? SELECTED : "#2f6fb5"});
            });
            this.route.lines.filter(located).forEach(function (p, i) {
                self.marker(p, "line", {icon: icon("map-line" + (p === selected ? " selected" : ""),
                                                   "<span>" + (i + 1) + "</span>", 16)});
            });
        }
        this.places.filter(located).forEach(function (p) {
            self.marker(p, "place", {icon: icon("map-place" + (p === selected ? " selected" : ""), "", 16)});
        });
    };

    return TileMap;
})();
