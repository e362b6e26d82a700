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
    // A segment with more points is drawn but not edited point by point: a handle per point
    // would make the map too slow to use.
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

    // The edit that turns the document's segment into the line the plugin has left.
    EditMap.prototype.sync = function (layer) {
        if (!this.doc || layer.segment === undefined || !layer.editEnabled()) return;
        var s = layer.segment, points = this.doc.track.segments[s].points;
        var line = layer.getLatLngs().map(units);
        var i = 0;
        while (i < points.length && i < line.length && points[i][0] === line[i].lng &&
               points[i][1] === line[i].lat)
            i++;
        if (line.length === points.length && i < line.length)
            this.options.onEdit(E.movePoint(this.doc, s, i, line[i].lng, line[i].lat));
        else if (line.length === points.length + 1)
            this.options.onEdit(E.insertPoint(this.doc, s, i, line[i].lng, line[i].lat));
        else if (line.length === points.length - 1)
            this.options.onEdit(E.deletePoint(this.doc, s, i));
    };

    EditMap.prototype.setMode = function (mode) {
        this.mode = mode;
        this.map.getContainer().style.cursor = mode ? "crosshair" : "";
    };

    EditMap.prototype.drawTrack = function () {
        var self = this, tooMany = 0;
        this.doc.track.segments.forEach(function (segment, s) {
            var line = segment.points.map(function (p) { return latLng(p[0], p[1]); });
            var layer = L.polyline(line, {color: "#d9534f", weight: 4, opacity: 0.9});
            layer.segment = s;
            self.drawn.addLayer(layer);
            if (line.length <= EDITABLE_POINTS) layer.enableEdit(self.map);
            else tooMany += line.length;
        });
        this.options.onNote(tooMany ? "轨迹点很多（" + tooMany + " 个），只显示，不能逐点编辑；" +
                                      "兴趣点、路线和文字照常编辑。" : "");
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
            var marker = L.marker(latLng(r.lng, r.lat), {icon: icon, draggable: true});
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

    EditMap.prototype.fit = function () {
        var bounds = L.latLngBounds([]);
        this.doc.track.segments.forEach(function (segment) {
            segment.points.forEach(function (p) { bounds.extend(latLng(p[0], p[1])); });
        });
        ((this.doc.route && this.doc.route.records) || []).forEach(function (r) {
            if (r.lng || r.lat) bounds.extend(latLng(r.lng, r.lat));
        });
        if (bounds.isValid()) this.map.fitBounds(bounds, {padding: [40, 40], maxZoom: 16});
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
