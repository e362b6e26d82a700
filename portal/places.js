// The navigator's saved places: the list, on the map too, adding one from the form and deleting
// the ticked ones.
var PortalPlaces = (function () {
    "use strict";

    var X = PortalXml;
    var program = PortalBridge;
    var ui = PortalUi;
    var $ = ui.$;

    var places = [];

    function render() {
        var list = $("placeList");
        list.innerHTML = "";
        if (!places.length)
            list.appendChild(ui.el("li", "empty", ui.connected() ? "导航仪上没有收藏点" : "未连接导航仪"));
        places.forEach(function (place) {
            var item = ui.tickItem("", place.id, place.name || "（无名称）", function () {
                PortalMap.view().centreOn(place, "place");
            });
            var updated = ui.date(place.updated);
            item.appendChild(ui.el("span", "meta", ui.degrees(place.lng) + ", " + ui.degrees(place.lat) +
                                                   (updated ? "  " + updated : "")));
            list.appendChild(item);
        });
    }

    function refresh() {
        var answer = program.GetPdaAddr();
        if (answer === undefined) ui.setConnected(false);
        places = [];
        if (answer) {
            var root = X.find(X.parse(answer), "point");
            X.children(root, "point").forEach(function (p) {
                places.push({id: p.attrs.id, name: X.textOf(p), lng: Number(p.attrs.lng) || 0,
                             lat: Number(p.attrs.lat) || 0, updated: p.attrs.lastUpDate || ""});
            });
        }
        render();
        PortalMap.view().setPlaces(places);
    }

    function add(event) {
        event.preventDefault();
        var place = PortalFiles.checkPlace($("placeName").value, $("placeLng").value,
                                           $("placeLat").value);
        if (place.error) return ui.showMessage(place.error);
        // No white space after the element: the program takes the text only when it ends there.
        var answer = program.poiToPDA('<poi lng="' + place.lng + '" lat="' + place.lat + '">' +
                                      ui.escapeXml(place.name) + "</poi>");
        if (answer === undefined) {
            ui.setConnected(false);
            return ui.showMessage("未连接导航仪，收藏点没有保存。");
        }
        PortalSettings.logEvent("保存收藏点 " + place.name);
        $("placeName").value = "";
        refresh();
    }

    function remove() {
        var ids = ui.ticked("placeList");
        if (!ids.length) return ui.showMessage("请先勾选要删除的收藏点。");
        ui.ask("从导航仪删除所选的 " + ids.length + " 个收藏点？", function () {
            if (program.deleteSelectedPoi(ids.join(",")) === undefined) ui.setConnected(false);
            else PortalSettings.logEvent("删除 " + ids.length + " 个收藏点");
            refresh();
        });
    }

    // A place picked on the map, into the form to name and save.
    function fill(p) {
        $("placeLng").value = ui.degrees(p.lng);
        $("placeLat").value = ui.degrees(p.lat);
        $("placeName").focus();
    }

    return {refresh: refresh, render: render, add: add, remove: remove, fill: fill};
})();
