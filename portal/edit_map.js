// The editor's map: the document's track, POIs and Lines on a map of their own, over the page's
// tiles where there are any, edited with the map library's editing plugin (Leaflet.Editable):
// drag a track point, drag a segment's middle handle to put a point there, click a point to
// delete it, drag a POI or a Line. A click on the map lays the track's next point or puts a POI
// or a Line, as the mode says. The map only reports edits (onEdit), built by PortalEditState;
// the editor applies them and has the whole document drawn again, so that undo and redo draw
// the same way as the edits themselves.
var PortalEditMap = (function () {
    "use strict";

    var UNIT = 1e-5;
    // A segment with more points gets handles only for the run of its points in view, once the
    // view holds no more than this: a handle per point would make the map too slow to use.
    var EDITABLE_POINTS = 1500;
    var E = PortalEditState;

    function latLng(lng, lat) { return L.latLng(lat * UNIT, lng * UNIT); }

    function units(latlng) {
        return {lng: Math.round(latlng.lng / UNIT), lat: Math.round(latlng.lat / UNIT)};
    }

    // `options`: {tiles: an address template or "", onEdit(edit), onSelect(record index or
    // null), onNote(text)}.
    function EditMap(container, options) {
        var self = this;
        this.options = options;
        this.doc = null;
        this.mode = "";
        this.selected = null;
        this.map = L.map(container, {editable: true, zoomControl: false, tap: false,
                                     attributionControl: false, preferCanvas: true,
                                     minZoom: 2, maxZoom: 19, doubleClickZoom: false});
        L.control.zoom({position: "topright", zoomInTitle: "放大", zoomOutTitle: "缩小"}).addTo(this.map);
        L.control.scale({imperial: false, position: "bottomright"}).addTo(this.map);
        if (options.tiles) L.tileLayer(options.tiles, {maxZoom: 19}).addTo(this.map);
        this.drawn = L.layerGroup().addTo(this.map);
        this.mark = L.circleMarker([0, 0], {radius: 7, color: "#c9302c", weight: 3, fill: false,
                                            interactive: false});
        this.map.setView([39.9, 116.39], 8);
        this.map.on("click", function (e) { self.clicked(units(e.latlng)); });
        // The handles of a long segment follow the view.
        this.map.on("moveend", function () {
            if (self.doc && self.windowed && !self.placing) self.draw(self.doc, self.selected);
        });
        // A vertex that the plugin has moved, put in or taken out: the edit is read from the
        // segment's line as it stands against the document.
        this.map.on("editable:vertex:dragend editable:vertex:deleted", function (e) {
            self.sync(e.layer);
        });
        // A middle handle becomes a point on press and is dragged on; a press without a drag
        // ends no drag, so the edit is read when the button comes up.
        this.map.on("editable:vertex:new", function (e) {
            var layer = e.layer;
            L.DomEvent.on(document, "mouseup", function up() {
                L.DomEvent.off(document, "mouseup", up);
                setTimeout(function () { self.sync(layer); }, 0);
            });
        });
    }

    EditMap.prototype.clicked = function (p) {
        if (!this.doc) return;
        if (this.mode === "track") this.options.onEdit(E.appendPoint(this.doc, p.lng, p.lat));
        else if (this.mode === "poi" || this.mode === "line") this.options.onEdit(E.addRecord(this.doc, this.mode, p.lng, p.lat));
        else this.options.onSelect(null);
    };

    // The edit that turns the document's segment (the run of it that the line stands for: from
    // `first`, `count` points) into the line the plugin has left.
    EditMap.prototype.sync = function (layer) {
        if (!this.doc || layer.segment === undefined || !layer.editEnabled()) return;
        var s = layer.segment, at = layer.first;
        var points = this.doc.track.segments[s].points.slice(at, at + layer.count);
        var line = layer.getLatLngs().map(units);
        var i = 0;
        while (i < points.length && i < line.length && points[i][0] === line[i].lng &&
               points[i][1] === line[i].lat)
            i++;
        if (line.length === points.length && i < line.length)
            this.options.onEdit(E.movePoint(this.doc, s, at + i, line[i].lng, line[i].lat));
        else if (line.length === points.length + 1)
            this.options.onEdit(E.insertPoint(this.doc, s, at + i, line[i].lng, line[i].lat));
        else if (line.length === points.length - 1)
            this.options.onEdit(E.deletePoint(this.doc, s, at + i));
    };

    // The run of `points` in view (the first and the last point inside it, and all between), or
    // null when that is too many for handles.
    EditMap.prototype.inView = function (points) {
        var bounds = this.map.getBounds(), first = -1, last = -1;
        for (var i = 0; i < points.length; i++) {
            if (!bounds.contains(latLng(points[i][0], points[i][1]))) continue;
            if (first < 0) first = i;
            last = i;
        }
        return first >= 0 && last - first < EDITABLE_POINTS ? {first: first, count: last - first + 1} : null;
    };

    EditMap.prototype.setMode = function (mode) {
        this.mode = mode;
        this.map.getContainer().style.cursor = mode ? "crosshair" : "";
    };

    // A long segment's points as far apart as half a pixel at the map's zoom: what its line
    // shows of them, for one object per point shown rather than per point. The map draws the
    // line afresh when the view changes.
    EditMap.prototype.thinned = function (points) {
        var step = 0.5 * 360 / (256 * Math.pow(2, this.map.getZoom())) / UNIT;
        var kept = [points[0]], last = points[0];
        for (var i = 1; i < points.length - 1; i++) {
            var p = points[i];
            if (Math.abs(p[0] - last[0]) < step && Math.abs(p[1] - last[1]) < step) continue;
            kept.push(p);
            last = p;
        }
        if (points.length > 1) kept.push(points[points.length - 1]);
        return kept;
    };

    function trackLine(points, editable) {
        return L.polyline(points.map(function (p) { return latLng(p[0], p[1]); }),
                          {color: "#d9534f", weight: 4, opacity: 0.9, interactive: editable});
    }

    // Each segment's line; a long one whole without handles, and over it the run in view with
    // them when the view holds few enough of its points.
    EditMap.prototype.drawTrack = function () {
        var self = this, tooMany = false;
        this.windowed = false;
        this.doc.track.segments.forEach(function (segment, s) {
            var points = segment.points;
            var run = points.length <= EDITABLE_POINTS ? {first: 0, count: points.length} : null;
            if (!run) {
                self.windowed = true;
                self.drawn.addLayer(trackLine(self.thinned(points), false));
                run = self.inView(points);
                tooMany = tooMany || !run;
            }
            if (!run) return;
            var layer = trackLine(run.count === points.length ? points : points.slice(run.first, run.first + run.count), true);
            layer.segment = s;
            layer.first = run.first;
            layer.count = run.count;
            self.drawn.addLayer(layer);
            layer.enableEdit(self.map);
        });
        this.options.onNote(tooMany ? "这段轨迹的点很多：放大地图，就能逐点编辑看得到的部分。" : "");
    };

    EditMap.prototype.drawRecords = function () {
        var self = this, lines = 0;
        ((this.doc.route && this.doc.route.records) || []).forEach(function (r, i) {
            if (r.kind !== "poi" && r.kind !== "line") return;
            var selected = self.selected === i ? " selected" : "";
            var icon = r.kind === "poi" ?
                L.divIcon({className: "edit-poi" + selected, iconSize: [14, 14]}) :
                L.divIcon({className: "map-line" + selected, html: "<span>" + (++lines) + "</span>",
                           iconSize: [16, 16]});
            // Above the track's handles: a POI on the track is still grabbed, not the point under it.
            var marker = L.marker(latLng(r.lng, r.lat), {icon: icon, draggable: true, zIndexOffset: 10000});
            var title = E.text(r.title);
            if (title) {
                marker.bindTooltip(title, {permanent: true, direction: "right", className: "map-label",
                                           offset: [8, 0]});
            }
            marker.on("click", function (e) {
                L.DomEvent.stopPropagation(e);
                self.options.onSelect(i);
            });
            marker.on("dragend", function () {
                var p = units(marker.getLatLng());
                self.options.onEdit(E.changeRecord(self.doc, i, {lng: p.lng, lat: p.lat}));
            });
            self.drawn.addLayer(marker);
        });
    };

    // Draws the document afresh (`selected`: the record shown as chosen, or null).
    EditMap.prototype.draw = function (doc, selected) {
        this.doc = doc;
        this.selected = selected;
        this.map.editTools.editLayer.clearLayers();
        this.drawn.clearLayers();
        this.drawTrack();
        this.drawRecords();
    };

    // The bounds of the track and the records, from their stored units: a large track is walked
    // once, without an object per point.
    function boundsOf(doc) {
        var west = Infinity, south = Infinity, east = -Infinity, north = -Infinity;
        function add(lng, lat) {
            if (lng < west) west = lng;
            if (lng > east) east = lng;
            if (lat < south) south = lat;
            if (lat > north) north = lat;
        }
        doc.track.segments.forEach(function (segment) {
            var points = segment.points;
            for (var i = 0; i < points.length; i++) add(points[i][0], points[i][1]);
        });
        ((doc.route && doc.route.records) || []).forEach(function (r) {
            if (r.lng || r.lat) add(r.lng, r.lat);
        });
        return west <= east ? L.latLngBounds(latLng(west, south), latLng(east, north)) : null;
    }

    // Shows the whole document: the handles of a long segment follow the new view.
    EditMap.prototype.fit = function () {
        var bounds = boundsOf(this.doc);
        if (bounds) this.map.fitBounds(bounds, {padding: [40, 40], maxZoom: 16});
    };

    // Draws a document just opened, in the view that shows it whole: the view is set first, so
    // that a large track is drawn once, not once for the old view and again for the new.
    EditMap.prototype.open = function (doc) {
        this.doc = doc;
        this.placing = true;
        this.fit();
        this.placing = false;
        this.draw(doc, null);
    };

    // Marks a track point (the chart's hover), or nothing.
    EditMap.prototype.markPoint = function (s, i) {
        var segment = this.doc && this.doc.track.segments[s];
        var p = segment && segment.points[i];
        if (!p) {
            this.mark.remove();
            return;
        }
        this.mark.setLatLng(latLng(p[0], p[1])).addTo(this.map);
    };

    EditMap.prototype.resize = function () { this.map.invalidateSize(); };

    return EditMap;
})();
