// The page's map and the card over it: the map over tiles, or the grid where the map library or
// the tiles cannot be had (taking over what the tile map showed), a route with its facts on the
// card, and the marker the user picks.
var PortalMap = (function () {
    "use strict";

    var ui = PortalUi;
    var $ = ui.$;
    var map = null;

    var DEFAULT_TILES = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
    var DEFAULT_ATTRIBUTION = "© OpenStreetMap contributors";

    // Everything the tile map showed, on the grid.
    function useGrid() {
        var tiles = map;
        tiles.remove();
        $("map").hidden = false;
        map = new RouteMap($("map"));
        map.onSelect = tiles.onSelect;
        map.covered = tiles.covered;
        map.insets = tiles.insets;
        map.setPlaces(tiles.places);
        map.setRoute(tiles.route);
    }

    // The map over tiles from the address template of the setting "tiles" ("none": no tiles).
    function makeMap() {
        var setting = PortalSettings.setting;
        var url = setting("tiles", DEFAULT_TILES);
        if (url === "none" || !TileMap.available()) return new RouteMap($("map"));
        $("map").hidden = true;
        var tiles = new TileMap($("tiles"), {url: url,
                                             attribution: setting("tileAttribution", DEFAULT_ATTRIBUTION)});
        tiles.onOffline = function () {
            useGrid();
            $("mapNote").textContent = "没有网络，地图只显示经纬网格。";
            $("mapNote").hidden = false;
        };
        return tiles;
    }

    function showMarker(marker) {
        var detail = $("infoDetail");
        if (!marker) { detail.textContent = ""; return; }
        var p = marker.item;
        var kind = {poi: "兴趣点", line: "路线", place: "收藏点"}[marker.kind];
        detail.textContent = kind + "：" + (p.title || p.name || "") + "（" + ui.degrees(p.lng) +
                             ", " + ui.degrees(p.lat) + "）" + (p.content ? " " + p.content : "");
        if (marker.kind === "place") $("bookInfo").hidden = false;
    }

    // What lies over the map, in its own pixels.
    function covered() {
        var canvas = $("map").getBoundingClientRect();
        return ["bookInfo", "message"].map($).concat(
            Array.prototype.slice.call(document.querySelectorAll(".map-pane .legend, .map-buttons")))
            .filter(function (e) { return e && !e.hidden; })
            .map(function (e) {
                var r = e.getBoundingClientRect();
                return {left: r.left - canvas.left, top: r.top - canvas.top,
                        right: r.right - canvas.left, bottom: r.bottom - canvas.top};
            });
    }

    function start() {
        map = makeMap();
        map.onSelect = showMarker;
        window.addEventListener("resize", function () { map.resize(); });
        map.covered = covered;
    }

    function renderRouteInfo(route) {
        $("bookInfo").hidden = false;
        $("emptyMap").hidden = true;
        $("infoName").textContent = route.name || "未命名路书";
        var facts = [];
        if (route.startCity || route.endCity)
            facts.push((route.startCity || "?") + " → " + (route.endCity || "?"));
        if (route.mileage) facts.push((route.mileage / 1000).toFixed(1) + " 公里");
        if (route.author) facts.push("作者 " + route.author);
        if (ui.date(route.updated)) facts.push("更新于 " + ui.date(route.updated));
        var points = route.groups.reduce(function (n, g) { return n + g.points.length; }, 0);
        facts.push(route.pois.length + " 个兴趣点 · " + route.lines.length + " 段路线 · " +
                   points + " 个轨迹点");
        $("infoFacts").textContent = facts.join("  ·  ");
        $("infoText").textContent = route.description;
    }

    // A route on the map, its card above it with `detail` (may be empty) at the bottom.
    function showRoute(route, detail) {
        renderRouteInfo(route);
        $("infoDetail").textContent = detail;
        map.insets.top = $("bookInfo").offsetHeight + 36;
        map.setRoute(route);
    }

    function clearRoute() {
        $("bookInfo").hidden = true;
        $("emptyMap").hidden = false;
        map.setRoute(null);
    }

    // The tiles' address template for another map (the editor's), "" for none.
    function tilesUrl() {
        var url = PortalSettings.setting("tiles", DEFAULT_TILES);
        return url === "none" || !TileMap.available() ? "" : url;
    }

    return {start: start, showRoute: showRoute, clearRoute: clearRoute, tilesUrl: tilesUrl,
            // The map that is shown now: the tile map gives way to the grid without a network.
            view: function () { return map; }};
})();
