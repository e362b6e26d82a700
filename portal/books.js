// The navigator's route books: the list, the one on the map, and the tasks on them (download
// from the portal through the page's download list, upload, delete).
var PortalBooks = (function () {
    "use strict";

    var X = PortalXml;
    var program = PortalBridge;
    var ui = PortalUi;
    var $ = ui.$;

    var books = [];
    var shownBook = null;   // rbid of the route book on the map
    var shownTitle = null;  // its title: positions change when route books are deleted

    function render() {
        var list = $("bookList");
        list.innerHTML = "";
        if (!books.length) {
            list.appendChild(ui.el("li", "empty", ui.connected() ? "导航仪上没有路书" :
                                                   "请用数据线把导航仪连接到电脑"));
        }
        books.forEach(function (book) {
            var className = book.rbid === shownBook ? "selected" : "";
            list.appendChild(ui.tickItem(className, String(book.rbid), book.title,
                                         function () { show(book.rbid); }));
        });
        $("bookCount").textContent = books.length ? "共 " + books.length + " 个" : "";
    }

    // The list read again (`rescan`: the navigator searched for afresh); false without a
    // navigator.
    function refresh(rescan) {
        var answer = program.connToPDA(rescan ? "r" : "x");
        ui.setConnected(answer !== undefined);
        books = [];
        if (answer) {
            var list = X.find(X.parse(answer), "rblist");
            X.children(list, "rb").forEach(function (rb) {
                books.push({title: X.textOf(X.child(rb, "title")),
                            rbid: parseInt(X.textOf(X.child(rb, "rbid")), 10)});
            });
        }
        if (shownTitle !== null) {
            var still = books.filter(function (b) { return b.title === shownTitle; })[0];
            if (still) shownBook = still.rbid;
            else if (answer !== undefined) clearRoute();
        }
        render();
        return answer !== undefined;
    }

    function titlesOf(ids) {
        return ids.map(function (id) {
            var book = books.filter(function (b) { return String(b.rbid) === String(id); })[0];
            return book ? book.title : "";
        });
    }

    function readRouteBook(text) {
        var root = X.find(X.parse(text), "RouteBook");
        if (!root) return null;
        function point(e) {
            return {title: e.attrs.title || "", lng: Number(e.attrs.lng) || 0,
                    lat: Number(e.attrs.lat) || 0, content: X.textOf(e), id: e.attrs.id};
        }
        var groups = X.children(X.child(root, "printlist"), "lineId").map(function (g) {
            return {id: g.attrs.id, points: X.children(g, "p").map(point)};
        });
        return {
            name: root.attrs.name || "",
            author: root.attrs.author || "",
            mileage: Number(root.attrs.mileage) || 0,
            startCity: root.attrs.startCity || "",
            endCity: root.attrs.endCity || "",
            updated: root.attrs.lastUpDate || "",
            pois: X.children(X.child(root, "poilist"), "poi").map(point),
            lines: X.children(X.child(root, "linelist"), "line").map(point),
            groups: groups,
            description: X.textOf(X.child(root, "Description"))
        };
    }

    function show(rbid) {
        var answer = program.showRoadbook(String(rbid));
        if (answer === undefined) {
            ui.setConnected(false);
            return;
        }
        var route = answer ? readRouteBook(answer) : null;
        if (!route) return;  // the program tells why through kankan
        shownBook = rbid;
        var book = books.filter(function (b) { return b.rbid === rbid; })[0];
        shownTitle = (book && book.title) || null;
        PortalSettings.keep("lastBook", String(rbid));
        PortalMap.showRoute(route, "");
        render();
    }

    function clearRoute() {
        shownBook = null;
        shownTitle = null;
        PortalMap.clearRoute();
    }

    // A route from elsewhere (a file on the PC) on the map instead of the navigator's.
    function showOther(route, detail) {
        shownBook = null;
        shownTitle = null;
        PortalMap.showRoute(route, detail);
        render();
    }

    // The route book shown last time, else the first.
    function showFirst() {
        var last = parseInt(PortalSettings.setting("lastBook", ""), 10);
        var known = books.filter(function (b) { return b.rbid === last; })[0];
        var first = known || books[0];
        if (first) show(first.rbid);
    }

    // The route book to act on: the first ticked, else the one on the map (null: none).
    function chosen() {
        var ids = ui.ticked("bookList");
        return ids.length ? ids[0] : shownBook;
    }

    // ---- the download list ---------------------------------------------------------------------

    var queue = [];

    function saveQueue() {
        var lines = queue.map(function (q) { return q.name + "\t" + q.url; });
        PortalSettings.keep("queue", lines.join("\n"));
    }

    function renderQueue() {
        var list = $("importQueue");
        list.innerHTML = "";
        if (!queue.length) list.appendChild(ui.el("li", "empty", "下载列表是空的"));
        queue.forEach(function (q, i) {
            var item = ui.el("li");
            item.appendChild(ui.el("span", "title", q.name));
            item.appendChild(ui.el("span", "meta", q.url));
            var remove = ui.el("button", "link", "移除");
            remove.addEventListener("click", function () {
                queue.splice(i, 1);
                saveQueue();
                renderQueue();
            });
            item.appendChild(remove);
            list.appendChild(item);
        });
    }

    function loadQueue() {
        var text = PortalSettings.setting("queue", "");
        queue = text.split("\n").filter(Boolean).map(function (line) {
            var tab = line.indexOf("\t");
            return {name: line.slice(0, tab), url: line.slice(tab + 1)};
        });
        renderQueue();
    }

    function addToQueue(event) {
        event.preventDefault();
        var url = $("importUrl").value.trim();
        var name = $("importName").value.trim();
        if (!/^https?:\/\//.test(url) || !name)
            return ui.showMessage("请填写路书包的网址（http:// 或 https://）和名称。");
        if (/[%<>]/.test(url)) return ui.showMessage("网址里不能有 %、< 或 > 字符。");
        // The name becomes the route book's file names on the navigator.
        if (/[<>&%\\\/:*?"|]/.test(name))
            return ui.showMessage("名称里不能有 < > & % \\ / : * ? \" | 这些字符。");
        queue.push({name: name, url: url});
        saveQueue();
        renderQueue();
        $("importName").value = "";
    }

    // ---- tasks on route books ------------------------------------------------------------------

    function importBooks() {
        if (!queue.length) return ui.showMessage("请先加入要下载的路书。");
        // Written as the program reads it: the address with its "&" as they are (the program
        // protects them itself), the name plain (addToQueue keeps markup out of it).
        var items = queue.map(function (q) {
            return "<rb><url>" + q.url + "</url><name>" + q.name + "</name></rb>";
        }).join("");
        var started = PortalTasks.start(program.importToPDA, items, {
            kind: "down", label: "下载路书到导航仪",
            items: queue.map(function (q) { return q.name; }),
            urls: queue.map(function (q) { return q.url; })});
        if (started) {
            queue = [];
            saveQueue();
            renderQueue();
        }
    }

    function exportBooks() {
        var ids = ui.ticked("bookList");
        if (!ids.length) return ui.showMessage("请先勾选要上传的路书。");
        PortalTasks.start(program.exportFromPDA, ids.join(","),
                          {kind: "updata", label: "上传路书", items: titlesOf(ids)});
    }

    function deleteBooks() {
        var ids = ui.ticked("bookList");
        if (!ids.length) return ui.showMessage("请先勾选要删除的路书。");
        ui.ask("从导航仪删除所选的 " + ids.length + " 个路书？", function () {
            // Positions count down, so that each removal leaves the others' positions alone.
            ids.sort(function (a, b) { return b - a; });
            PortalTasks.start(program.deleteSelected, ids.join(","),
                              {kind: "delete", label: "删除路书", items: titlesOf(ids)});
        });
    }

    return {refresh: refresh, showFirst: showFirst, showOther: showOther, chosen: chosen,
            loadQueue: loadQueue, addToQueue: addToQueue,
            importBooks: importBooks, exportBooks: exportBooks, deleteBooks: deleteBooks};
})();
