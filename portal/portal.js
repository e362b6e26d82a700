// The bundled start page: the navigator's route books on a map, its saved places, and the
// transfers between the portal and the navigator, all through window.external. This file only
// wires the page's parts (index.html loads them first) to its elements and to the program's
// calls, and starts the page.
(function () {
    "use strict";

    var ui = PortalUi;
    var $ = ui.$;
    var settings = PortalSettings;
    var books = PortalBooks;
    var places = PortalPlaces;
    var tasks = PortalTasks;
    var pcFiles = PortalPcFiles;
    var editor = PortalEditor;
    var program = PortalBridge;

    function switchTab(name) {
        ui.showTab(name);
        // The editor has no tab of its own: 编辑路书… opens it, any tab leaves it.
        editor.show(name === "edit");
        settings.keep("tab", name);
    }

    // The right-click menu: the lists, and on the map a saved place there and the whole route.
    function contextMenu(x, y) {
        var mapRect = document.querySelector(".map-pane").getBoundingClientRect();
        var onMap = x >= mapRect.left && x < mapRect.right &&
                    y >= mapRect.top && y < mapRect.bottom;
        var entries = [["刷新路书列表", function () { books.refresh(true); }],
                       ["刷新收藏点", places.refresh]];
        if (onMap) {
            entries.push(["在这里添加收藏点", function () {
                var p = PortalMap.view().toWorld(x - mapRect.left, y - mapRect.top);
                switchTab("places");
                places.fill(p);
            }]);
            entries.push(["显示整个路书", function () { PortalMap.view().fit(); }]);
        }
        ui.openMenu(x, y, entries);
    }

    PortalCallbacks.answer({
        message: tasks.notice,
        step: tasks.progress,
        askReplace: pcFiles.askReplace,
        navigator: function () {
            if (books.refresh(true)) {
                settings.logEvent("导航仪已连接");
                places.refresh();
            }
        },
        closing: function () { settings.keep("tab", ui.currentTab()); },
        rightClick: contextMenu
    });

    // The about line: the version, and the document mode where the engine has one (IE's), for
    // whoever helps a user.
    function about() {
        var mode = document.documentMode;
        return "KorvelVantu" + (window.vantuVersion ? " " + window.vantuVersion : "") +
               " · 免费电子地图，路书随身行" + (mode ? " · 文档模式 " + mode : "");
    }

    function on(id, type, handler) { $(id).addEventListener(type, handler); }

    function wire() {
        Array.prototype.forEach.call(document.querySelectorAll(".tabs button"), function (b) {
            b.addEventListener("click", function () { switchTab(b.getAttribute("data-tab")); });
        });
        on("openFile", "click", function () { $("fileInput").click(); });
        on("fileInput", "change", function () {
            var file = this.files && this.files[0];
            if (file) pcFiles.openFile(file);
            this.value = "";
        });
        on("refreshBooks", "click", function () { books.refresh(true); });
        on("exportBooks", "click", books.exportBooks);
        on("deleteBooks", "click", books.deleteBooks);
        on("refreshPlaces", "click", places.refresh);
        on("deletePlaces", "click", places.remove);
        on("addPlace", "submit", places.add);
        on("importForm", "submit", books.addToQueue);
        on("startImport", "click", books.importBooks);
        on("pause", "click", tasks.pause);
        on("resume", "click", tasks.resume);
        on("stop", "click", tasks.stop);
        on("account", "submit", settings.bindAccount);
        on("installPackage", "click", function () {
            pcFiles.install(program.installPackageFromPC);
        });
        on("installGpx", "click", function () { pcFiles.install(program.installGpxFromPC); });
        on("saveGpx", "click", pcFiles.saveGpx);
        on("backup", "click", pcFiles.backup);
        on("restore", "click", pcFiles.restore);
        on("zoomIn", "click", function () { PortalMap.view().zoom(1.5); });
        on("zoomOut", "click", function () { PortalMap.view().zoom(1 / 1.5); });
        on("fit", "click", function () { PortalMap.view().fit(); });
        on("clearHistory", "click", settings.clearHistory);
        wireEditor();
    }

    function wireEditor() {
        editor.wire();
        on("editBooks", "click", function () { switchTab("edit"); });
        on("editBack", "click", function () { switchTab("books"); });
        on("editNew", "click", editor.newBook);
        on("editOpenBook", "click", PortalEditIo.openBook);
        on("editOpenPackage", "click", PortalEditIo.openPackage);
        on("editOpenGpx", "click", function () { $("editFileInput").click(); });
        on("editFileInput", "change", function () {
            var file = this.files && this.files[0];
            if (file) PortalEditIo.openGpx(file);
            this.value = "";
        });
        on("editSaveNavigator", "click", PortalEditIo.saveToNavigator);
        on("editSavePackage", "click", function () { PortalEditIo.saveToPc("package"); });
        on("editSaveGpx", "click", function () { PortalEditIo.saveToPc("gpx"); });
    }

    function start() {
        PortalMap.start();
        ui.start();
        $("about").textContent = about();
        wire();
        if (!program.inProgram) {
            $("outside").hidden = false;
            return;
        }
        switchTab(settings.setting("tab", "books"));
        // The list first, so that it paints before the rest of the page's calls are answered.
        var found = books.refresh(true);
        setTimeout(function () {
            $("accountName").value = settings.setting("account", "");
            if ($("accountName").value) settings.bindAccount();
            settings.loadHistory();
            books.loadQueue();
            if (found) {
                places.refresh();
                books.showFirst();
            } else {
                places.render();
            }
        }, 0);
    }

    document.addEventListener("DOMContentLoaded", start);
})();
