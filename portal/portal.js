// The bundled start page: the navigator's route books on a map, its saved places, and the
// transfers between the portal and the navigator, all through window.external.
(function () {
    "use strict";

    var X = PortalXml;
    var external = window.external;
    var inProgram = !!external && typeof external.getValue === "function" &&
                    typeof external.connToPDA === "function";

    // A method of the program; undefined when it answers nothing (no navigator, not available).
    function ask(name) {
        if (!inProgram) return undefined;
        try {
            return external[name].apply(external, Array.prototype.slice.call(arguments, 1));
        } catch (e) {
            return undefined;
        }
    }

    function $(id) { return document.getElementById(id); }

    function el(tag, className, text) {
        var e = document.createElement(tag);
        if (className) e.className = className;
        if (text !== undefined) e.textContent = text;
        return e;
    }

    function escapeXml(text) {
        return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
    }

    function degrees(units) { return (Number(units) / 1e5).toFixed(5); }

    function date(text) {
        var m = /^(\d{4})(\d{2})(\d{2})(\d{2})?(\d{2})?/.exec(text || "");
        if (!m) return "";
        return m[1] + "-" + m[2] + "-" + m[3] + (m[4] ? " " + m[4] + ":" + m[5] : "");
    }

    // ---- settings and history ----------------------------------------------------------------

    var HISTORY_FILE = "portal_history.txt";
    var history = [];

    function setting(key, fallback) {
        var value = ask("getValue", "portal." + key);
        return value === undefined || value === "" ? fallback : value;
    }

    function keep(key, value) { ask("writeValue", "portal." + key, value); }

    function loadHistory() {
        var text = ask("getFileText", HISTORY_FILE);
        history = text ? text.split("\n").filter(Boolean) : [];
        renderHistory();
    }

    function logEvent(text) {
        var now = new Date();
        function two(n) { return (n < 10 ? "0" : "") + n; }
        var stamp = now.getFullYear() + "-" + two(now.getMonth() + 1) + "-" + two(now.getDate()) +
                    " " + two(now.getHours()) + ":" + two(now.getMinutes());
        history.push(stamp + "  " + text.replace(/\n/g, " "));
        history = history.slice(-60);
        ask("writeFileText", HISTORY_FILE, history.join("\n") + "\n");
        renderHistory();
    }

    function renderHistory() {
        var list = $("historyList");
        list.innerHTML = "";
        history.slice().reverse().forEach(function (line) { list.appendChild(el("li", "", line)); });
        if (!history.length) list.appendChild(el("li", "empty", "还没有记录"));
    }

    // ---- device ------------------------------------------------------------------------------

    var connected = false;

    function setConnected(yes) {
        connected = yes;
        var badge = $("device");
        badge.className = "device " + (yes ? "on" : "off");
        badge.textContent = yes ? "导航仪已连接" : "未连接导航仪";
    }

    // ---- route books -------------------------------------------------------------------------

    var books = [];
    var shownBook = null;

    function refreshBooks(rescan) {
        var answer = ask("connToPDA", rescan ? "r" : "x");
        setConnected(answer !== undefined);
        books = [];
        if (answer) {
            var list = X.find(X.parse(answer), "rblist");
            X.children(list, "rb").forEach(function (rb) {
                books.push({title: X.textOf(X.child(rb, "title")),
                            rbid: parseInt(X.textOf(X.child(rb, "rbid")), 10)});
            });
        }
        renderBooks();
        return answer !== undefined;
    }

    function renderBooks() {
        var list = $("bookList");
        list.innerHTML = "";
        if (!books.length) {
            list.appendChild(el("li", "empty", connected ? "导航仪上没有路书" :
                                                "请用数据线把导航仪连接到电脑"));
        }
        books.forEach(function (book) {
            var item = el("li", book.rbid === shownBook ? "selected" : "");
            var box = el("input");
            box.type = "checkbox";
            box.value = String(book.rbid);
            box.addEventListener("click", function (e) { e.stopPropagation(); });
            item.appendChild(box);
            item.appendChild(el("span", "title", book.title));
            item.addEventListener("click", function () { showBook(book.rbid); });
            list.appendChild(item);
        });
        $("bookCount").textContent = books.length ? "共 " + books.length + " 个" : "";
    }

    function selectedBooks() {
        return Array.prototype.filter.call($("bookList").querySelectorAll("input:checked"),
                                           function () { return true; })
            .map(function (box) { return box.value; });
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

    function showBook(rbid) {
        var answer = ask("showRoadbook", String(rbid));
        if (answer === undefined) {
            setConnected(false);
            return;
        }
        var route = answer ? readRouteBook(answer) : null;
        if (!route) return;  // the program tells why through kankan
        shownBook = rbid;
        keep("lastBook", String(rbid));
        renderRouteInfo(route);
        map.insets.top = $("bookInfo").offsetHeight + 36;
        map.setRoute(route);
        renderBooks();
    }

    function renderRouteInfo(route) {
        var card = $("bookInfo");
        card.hidden = false;
        $("emptyMap").hidden = true;
        $("infoName").textContent = route.name || "未命名路书";
        var facts = [];
        if (route.startCity || route.endCity)
            facts.push((route.startCity || "?") + " → " + (route.endCity || "?"));
        if (route.mileage) facts.push((route.mileage / 1000).toFixed(1) + " 公里");
        if (route.author) facts.push("作者 " + route.author);
        if (date(route.updated)) facts.push("更新于 " + date(route.updated));
        var points = route.groups.reduce(function (n, g) { return n + g.points.length; }, 0);
        facts.push(route.pois.length + " 个兴趣点 · " + route.lines.length + " 段路线 · " +
                   points + " 个轨迹点");
        $("infoFacts").textContent = facts.join("  ·  ");
        $("infoText").textContent = route.description;
        $("infoDetail").textContent = "";
    }

    // ---- saved places ------------------------------------------------------------------------

    var places = [];

    function refreshPlaces() {
        var answer = ask("GetPdaAddr");
        if (answer === undefined) setConnected(false);
        places = [];
        if (answer) {
            var root = X.find(X.parse(answer), "point");
            X.children(root, "point").forEach(function (p) {
                places.push({id: p.attrs.id, name: X.textOf(p), lng: Number(p.attrs.lng) || 0,
                             lat: Number(p.attrs.lat) || 0, updated: p.attrs.lastUpDate || ""});
            });
        }
        renderPlaces();
        map.setPlaces(places);
    }

    function renderPlaces() {
        var list = $("placeList");
        list.innerHTML = "";
        if (!places.length)
            list.appendChild(el("li", "empty", connected ? "导航仪上没有收藏点" : "未连接导航仪"));
        places.forEach(function (place) {
            var item = el("li");
            var box = el("input");
            box.type = "checkbox";
            box.value = place.id;
            item.appendChild(box);
            var text = el("span", "title", place.name || "（无名称）");
            item.appendChild(text);
            item.appendChild(el("span", "meta", degrees(place.lng) + ", " + degrees(place.lat) +
                                                (date(place.updated) ? "  " + date(place.updated) : "")));
            list.appendChild(item);
        });
    }

    function addPlace(event) {
        event.preventDefault();
        var name = $("placeName").value.trim();
        var lng = Math.round(parseFloat($("placeLng").value) * 1e5);
        var lat = Math.round(parseFloat($("placeLat").value) * 1e5);
        if (!name || isNaN(lng) || isNaN(lat)) {
            showMessage("请填写收藏点的名称、经度和纬度。");
            return;
        }
        // No white space after the element: the program takes the text only when it ends there.
        var answer = ask("poiToPDA", '<poi lng="' + lng + '" lat="' + lat + '">' +
                                      escapeXml(name) + "</poi>");
        if (answer === undefined) {
            setConnected(false);
            showMessage("未连接导航仪，收藏点没有保存。");
            return;
        }
        logEvent("保存收藏点 " + name);
        $("placeName").value = "";
        refreshPlaces();
    }

    function deletePlaces() {
        var ids = Array.prototype.map.call($("placeList").querySelectorAll("input:checked"),
                                           function (box) { return box.value; });
        if (!ids.length) return;
        if (!window.confirm("从导航仪删除所选的 " + ids.length + " 个收藏点？")) return;
        if (ask("deleteSelectedPoi", ids.join(",")) === undefined) setConnected(false);
        else logEvent("删除 " + ids.length + " 个收藏点");
        refreshPlaces();
    }

    // ---- tasks -------------------------------------------------------------------------------

    var task = null;  // {kind, total, started}
    var ACTIONS = {down: "下载", "delete": "删除", updata: "上传"};

    function startTask(kind, method, argument, total, label) {
        var answer = ask(method, argument);
        if (answer === undefined) {
            setConnected(false);
            showMessage("未连接导航仪。");
            return false;
        }
        task = {kind: kind, total: total, label: label};
        $("taskState").textContent = label + "：准备中…";
        $("taskBar").style.width = "0";
        $("task").className = "task running";
        logEvent("开始" + label + "（" + total + " 个）");
        return true;
    }

    function endTask(message) {
        if (task) logEvent(task.label + (message ? "：" + message : "完成"));
        task = null;
        $("task").className = "task";
        $("taskState").textContent = "没有进行中的任务";
        $("taskBar").style.width = "0";
        refreshBooks(true);
    }

    function importBooks() {
        if (!queue.length) {
            showMessage("请先加入要下载的路书。");
            return;
        }
        // Written as the program reads it: the address with its "&" as they are (the program
        // protects them itself), the name plain (addToQueue keeps markup out of it).
        var items = queue.map(function (q) {
            return "<rb><url>" + q.url + "</url><name>" + q.name + "</name></rb>";
        }).join("");
        if (startTask("import", "importToPDA", items, queue.length, "下载路书到导航仪")) {
            queue = [];
            saveQueue();
            renderQueue();
        }
    }

    function exportBooks() {
        var ids = selectedBooks();
        if (!ids.length) return showMessage("请先勾选要上传的路书。");
        startTask("export", "exportFromPDA", ids.join(","), ids.length, "上传路书");
    }

    function deleteBooks() {
        var ids = selectedBooks();
        if (!ids.length) return showMessage("请先勾选要删除的路书。");
        if (!window.confirm("从导航仪删除所选的 " + ids.length + " 个路书？")) return;
        // Positions count down, so that each removal leaves the others' positions alone.
        ids.sort(function (a, b) { return b - a; });
        startTask("delete", "deleteSelected", ids.join(","), ids.length, "删除路书");
    }

    // ---- import queue ------------------------------------------------------------------------

    var queue = [];

    function saveQueue() {
        keep("queue", queue.map(function (q) { return q.name + "\t" + q.url; }).join("\n"));
    }

    function loadQueue() {
        var text = setting("queue", "");
        queue = text.split("\n").filter(Boolean).map(function (line) {
            var tab = line.indexOf("\t");
            return {name: line.slice(0, tab), url: line.slice(tab + 1)};
        });
        renderQueue();
    }

    function renderQueue() {
        var list = $("importQueue");
        list.innerHTML = "";
        if (!queue.length) list.appendChild(el("li", "empty", "下载列表是空的"));
        queue.forEach(function (q, i) {
            var item = el("li");
            item.appendChild(el("span", "title", q.name));
            item.appendChild(el("span", "meta", q.url));
            var remove = el("button", "link", "移除");
            remove.addEventListener("click", function () {
                queue.splice(i, 1);
                saveQueue();
                renderQueue();
            });
            item.appendChild(remove);
            list.appendChild(item);
        });
    }

    function addToQueue(event) {
        event.preventDefault();
        var url = $("importUrl").value.trim();
        var name = $("importName").value.trim();
        if (!/^https?:\/\//.test(url) || !name) {
            showMessage("请填写路书包的网址（http:// 或 https://）和名称。");
            return;
        }
        if (/[%<>]/.test(url)) {
            showMessage("网址里不能有 %、< 或 > 字符。");
            return;
        }
        // The name becomes the route book's file names on the navigator.
        if (/[<>&%\\\/:*?"|]/.test(name)) {
            showMessage("名称里不能有 < > & % \\ / : * ? \" | 这些字符。");
            return;
        }
        queue.push({name: name, url: url});
        saveQueue();
        renderQueue();
        $("importName").value = "";
    }

    // ---- messages and the program's calls ----------------------------------------------------

    var messageTimer = null;

    function showMessage(text) {
        var box = $("message");
        box.textContent = text;
        box.hidden = !text;
        clearTimeout(messageTimer);
        if (text) messageTimer = setTimeout(function () { box.hidden = true; }, 8000);
    }

    window.kankan = function (text) {
        var message = text === undefined ? "" : String(text).trim();
        if (message) showMessage(message);
        // A busy answer belongs to a task that was refused; the running one goes on.
        if (task && message.indexOf("忙") < 0) endTask(message);
    };

    window.currentLushu = function (ordinal, action) {
        var n = parseInt(ordinal, 10) || 0;
        var verb = ACTIONS[action] || "处理";
        if (!task) task = {kind: action, total: n, label: verb + "路书"};
        $("task").className = "task running";
        $("taskState").textContent = "正在" + verb + "第 " + n + " 个路书" +
                                     (task.total ? "（共 " + task.total + " 个）" : "");
        $("taskBar").style.width = (task.total ? Math.min(100, (n - 1) / task.total * 100) : 0) + "%";
    };

    window.PDALink = function () {
        if (refreshBooks(true)) {
            logEvent("导航仪已连接");
            refreshPlaces();
        }
    };

    window.onWinExit = function () {
        keep("tab", currentTab);
    };

    // The program reports right clicks with the position in the window.
    window.onRButtonDown = function (x, y) {
        openMenu(parseInt(x, 10), parseInt(y, 10));
    };

    // ---- context menu ------------------------------------------------------------------------

    function openMenu(x, y) {
        var menu = $("menu");
        menu.innerHTML = "";
        var mapRect = $("map").getBoundingClientRect();
        var onMap = x >= mapRect.left && x < mapRect.right && y >= mapRect.top && y < mapRect.bottom;
        var entries = [["刷新路书列表", function () { refreshBooks(true); }],
                       ["刷新收藏点", refreshPlaces]];
        if (onMap) {
            entries.push(["在这里添加收藏点", function () {
                var p = map.toWorld(x - mapRect.left, y - mapRect.top);
                switchTab("places");
                $("placeLng").value = degrees(p.lng);
                $("placeLat").value = degrees(p.lat);
                $("placeName").focus();
            }]);
            entries.push(["显示整个路书", function () { map.fit(); }]);
        }
        entries.forEach(function (entry) {
            var item = el("div", "item", entry[0]);
            item.addEventListener("mousedown", function (e) { e.stopPropagation(); });
            item.addEventListener("click", function () { closeMenu(); entry[1](); });
            menu.appendChild(item);
        });
        menu.hidden = false;
        menu.style.left = Math.min(x, window.innerWidth - menu.offsetWidth - 4) + "px";
        menu.style.top = Math.min(y, window.innerHeight - menu.offsetHeight - 4) + "px";
    }

    function closeMenu() { $("menu").hidden = true; }

    // ---- layout ------------------------------------------------------------------------------

    var currentTab = "books";

    function switchTab(name) {
        currentTab = name;
        Array.prototype.forEach.call(document.querySelectorAll(".tabs button"), function (b) {
            b.classList.toggle("active", b.getAttribute("data-tab") === name);
        });
        Array.prototype.forEach.call(document.querySelectorAll(".tab"), function (s) {
            s.hidden = s.id !== "tab-" + name;
        });
        keep("tab", name);
    }

    function bindAccount(event) {
        if (event) event.preventDefault();
        var name = $("accountName").value.trim();
        if (!name) return;
        var answer = ask("SetUsername", name);
        $("accountState").textContent = answer ? "已绑定" : "";
        keep("account", name);
        if (event) logEvent("绑定账号 " + name);
    }

    var map;

    function start() {
        map = new RouteMap($("map"));
        map.onSelect = function (marker) {
            var detail = $("infoDetail");
            if (!marker) { detail.textContent = ""; return; }
            var p = marker.item;
            var kind = {poi: "兴趣点", line: "路线", place: "收藏点"}[marker.kind];
            detail.textContent = kind + "：" + (p.title || p.name || "") + "（" + degrees(p.lng) +
                                 ", " + degrees(p.lat) + "）" + (p.content ? " " + p.content : "");
            if (marker.kind === "place") $("bookInfo").hidden = false;
        };
        window.addEventListener("resize", function () { map.resize(); });
        document.addEventListener("mousedown", function (e) {
            if (!$("menu").contains(e.target)) closeMenu();
        });
        document.addEventListener("keydown", function (e) { if (e.key === "Escape") closeMenu(); });
        document.addEventListener("contextmenu", function (e) { e.preventDefault(); });

        Array.prototype.forEach.call(document.querySelectorAll(".tabs button"), function (b) {
            b.addEventListener("click", function () { switchTab(b.getAttribute("data-tab")); });
        });
        $("refreshBooks").addEventListener("click", function () { refreshBooks(true); });
        $("exportBooks").addEventListener("click", exportBooks);
        $("deleteBooks").addEventListener("click", deleteBooks);
        $("refreshPlaces").addEventListener("click", refreshPlaces);
        $("deletePlaces").addEventListener("click", deletePlaces);
        $("addPlace").addEventListener("submit", addPlace);
        $("importForm").addEventListener("submit", addToQueue);
        $("startImport").addEventListener("click", importBooks);
        $("pause").addEventListener("click", function () { ask("PauseTask", "p"); });
        $("resume").addEventListener("click", function () { ask("PauseTask", "c"); });
        $("stop").addEventListener("click", function () { ask("PauseTask", "t"); });
        $("account").addEventListener("submit", bindAccount);
        $("zoomIn").addEventListener("click", function () { map.zoom(1.5); });
        $("zoomOut").addEventListener("click", function () { map.zoom(1 / 1.5); });
        $("fit").addEventListener("click", function () { map.fit(); });
        $("clearHistory").addEventListener("click", function () {
            history = [];
            ask("writeFileText", HISTORY_FILE, "");
            renderHistory();
        });

        if (!inProgram) {
            $("outside").hidden = false;
            return;
        }
        $("accountName").value = setting("account", "");
        if ($("accountName").value) bindAccount();
        loadHistory();
        loadQueue();
        switchTab(setting("tab", "books"));
        if (refreshBooks(true)) {
            refreshPlaces();
            var last = parseInt(setting("lastBook", ""), 10);
            var known = books.filter(function (b) { return b.rbid === last; })[0];
            var first = known || books[0];
            if (first) showBook(first.rbid);
        } else {
            renderPlaces();
        }
    }

    document.addEventListener("DOMContentLoaded", start);
})();
