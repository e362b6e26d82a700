// The bundled start page: the navigator's route books on a map, its saved places, and the
// transfers between the portal and the navigator, all through window.external.
(function () {
    "use strict";

    var X = PortalXml;
    // The program's methods; each answers undefined when there is no value (no navigator, not
    // in the program).
    var program = PortalBridge;

    function $(id) { return document.getElementById(id); }

    function el(tag, className, text) {
        var e = document.createElement(tag);
        if (className) e.className = className;
        if (text !== undefined) e.textContent = text;
        return e;
    }

    // IE11's classList.toggle ignores its second argument.
    function setClass(element, name, on) {
        if (on) element.classList.add(name);
        else element.classList.remove(name);
    }

    // Key names as WebKit reports them; IE11 has its own for a few keys.
    var IE_KEYS = {Esc: "Escape", Up: "ArrowUp", Down: "ArrowDown", Left: "ArrowLeft",
                   Right: "ArrowRight", Spacebar: " ", Del: "Delete"};

    function keyOf(event) {
        return IE_KEYS.hasOwnProperty(event.key) ? IE_KEYS[event.key] : event.key;
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
        var value = program.getValue("portal." + key);
        return value === undefined || value === "" ? fallback : value;
    }

    function keep(key, value) { program.writeValue("portal." + key, value); }

    function loadHistory() {
        var text = program.getFileText(HISTORY_FILE);
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
        program.writeFileText(HISTORY_FILE, history.join("\n") + "\n");
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
    var shownBook = null;   // rbid of the route book on the map
    var shownTitle = null;  // its title: positions change when route books are deleted

    function refreshBooks(rescan) {
        var answer = program.connToPDA(rescan ? "r" : "x");
        setConnected(answer !== undefined);
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
            box.tabIndex = -1;
            box.addEventListener("click", function (e) { e.stopPropagation(); });
            item.appendChild(box);
            item.appendChild(el("span", "title", book.title));
            listItem(item, function () { showBook(book.rbid); }, box);
            list.appendChild(item);
        });
        $("bookCount").textContent = books.length ? "共 " + books.length + " 个" : "";
    }

    function titlesOf(ids) {
        return ids.map(function (id) {
            var book = books.filter(function (b) { return String(b.rbid) === String(id); })[0];
            return book ? book.title : "";
        });
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
        var answer = program.showRoadbook(String(rbid));
        if (answer === undefined) {
            setConnected(false);
            return;
        }
        var route = answer ? readRouteBook(answer) : null;
        if (!route) return;  // the program tells why through kankan
        shownBook = rbid;
        shownTitle = (books.filter(function (b) { return b.rbid === rbid; })[0] || {}).title || null;
        keep("lastBook", String(rbid));
        renderRouteInfo(route);
        map.insets.top = $("bookInfo").offsetHeight + 36;
        map.setRoute(route);
        renderBooks();
    }

    function clearRoute() {
        shownBook = null;
        shownTitle = null;
        $("bookInfo").hidden = true;
        $("emptyMap").hidden = false;
        map.setRoute(null);
    }

    // A list item that the keyboard reaches: Tab to the list, arrows along it, Enter to open,
    // Space to tick its box.
    function listItem(item, open, box) {
        item.tabIndex = 0;
        item.addEventListener("click", open);
        item.addEventListener("keydown", function (e) {
            var key = keyOf(e), next = null;
            if (key === "Enter") open();
            else if (key === " " && box) box.checked = !box.checked;
            else if (key === "ArrowDown") next = item.nextElementSibling;
            else if (key === "ArrowUp") next = item.previousElementSibling;
            else return;
            e.preventDefault();
            if (next && next.tabIndex === 0) next.focus();
        });
    }

    // ---- files from the PC -----------------------------------------------------------------

    function openFile(file) {
        var reader = new FileReader();
        var isGpx = /\.gpx$/i.test(file.name);
        reader.onload = function () {
            var route = null;
            try {
                route = isGpx ? PortalFiles.readGpx(String(reader.result), file.name)
                              : PortalFiles.readTrk(reader.result, file.name);
            } catch (e) {
                route = null;
            }
            if (!route) {
                showMessage("“" + file.name + "”不是能显示的 " + (isGpx ? "GPX" : "轨迹") +
                            " 文件，或者里面没有位置。");
                return;
            }
            shownBook = null;
            shownTitle = null;
            renderRouteInfo(route);
            $("infoDetail").textContent = "电脑上的文件：" + file.name;
            map.insets.top = $("bookInfo").offsetHeight + 36;
            map.setRoute(route);
            renderBooks();
        };
        reader.onerror = function () { showMessage("“" + file.name + "”读不出来。"); };
        if (isGpx) reader.readAsText(file);
        else reader.readAsArrayBuffer(file);
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
        var answer = program.GetPdaAddr();
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
            box.tabIndex = -1;
            box.addEventListener("click", function (e) { e.stopPropagation(); });
            var text = el("span", "title", place.name || "（无名称）");
            item.appendChild(text);
            item.appendChild(el("span", "meta", degrees(place.lng) + ", " + degrees(place.lat) +
                                                (date(place.updated) ? "  " + date(place.updated) : "")));
            listItem(item, function () { map.centreOn(place, "place"); }, box);
            list.appendChild(item);
        });
    }

    function addPlace(event) {
        event.preventDefault();
        var place = PortalFiles.checkPlace($("placeName").value, $("placeLng").value,
                                           $("placeLat").value);
        if (place.error) {
            showMessage(place.error);
            return;
        }
        var name = place.name, lng = place.lng, lat = place.lat;
        // No white space after the element: the program takes the text only when it ends there.
        var answer = program.poiToPDA('<poi lng="' + lng + '" lat="' + lat + '">' +
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
        if (!ids.length) return showMessage("请先勾选要删除的收藏点。");
        askUser("从导航仪删除所选的 " + ids.length + " 个收藏点？", function () {
            if (program.deleteSelectedPoi(ids.join(",")) === undefined) setConnected(false);
            else logEvent("删除 " + ids.length + " 个收藏点");
            refreshPlaces();
        });
    }

    // ---- tasks -------------------------------------------------------------------------------

    // {kind, verb (the page's own word), noun (what the items are), total, label, items (names
    //  by ordinal), current, urls, paused, stopping, note (said at the end), after (runs at the
    //  end instead of the usual message)}
    var task = null;
    var ACTIONS = {down: "下载", "delete": "删除", updata: "上传"};
    var NETWORK_DOWN = "下载路书失败，网络异常！";

    // `method` is one of the program's three task methods.
    function startTask(kind, method, argument, items, label, urls) {
        var answer = method(argument);
        if (answer === undefined) {
            setConnected(false);
            showMessage("未连接导航仪。");
            return false;
        }
        task = {kind: kind, total: items.length, label: label, items: items, current: 0,
                urls: urls || [], paused: false, stopping: false};
        $("taskState").textContent = label + "：准备中…";
        renderTask();
        logEvent("开始" + label + "（" + items.length + " 个）");
        return true;
    }

    // The buttons and the bar follow the task's state.
    function renderTask() {
        var bar = $("taskBar");
        $("task").className = "task" + (task ? " running" : "") + (task && task.paused ? " paused" : "");
        $("pause").disabled = !task || task.stopping;
        $("stop").disabled = !task || task.stopping;
        $("pause").hidden = !!(task && task.paused);
        $("resume").hidden = !(task && task.paused);
        $("resume").disabled = !task || task.stopping;
        setClass(bar, "indeterminate", !!task && task.kind === "down" && task.current > 0);
        if (!task) bar.style.width = "0";
    }

    function setTaskState(text) {
        $("taskState").textContent = text;
    }

    function endTask(message) {
        var finished = task;
        task = null;
        setTaskState("没有进行中的任务");
        renderTask();
        if (finished && finished.after) {
            finished.after(message);
        } else if (finished) {
            var text = message ? message : finished.stopping ? finished.label + "已停止。" :
                       finished.label + "完成（" + finished.total + " 个）。" +
                       (finished.note || "");
            showMessage(text);
            logEvent(text);
        }
        refreshBooks(true);
    }

    // What failed, by name, and why; a download that the server does not have is told apart
    // from a network failure when the page may ask the server itself.
    function failure(finished, message, done) {
        var name = finished.items[finished.current - 1];
        var text = (name ? "“" + name + "”：" : "") + message;
        var url = finished.urls[finished.current - 1];
        if (message !== NETWORK_DOWN || !url) return done(text);
        var request = new XMLHttpRequest();
        request.onload = function () {
            if (request.status === 404 || request.status === 410)
                done((name ? "“" + name + "”：" : "") + "下载失败，服务器上没有这个路书。");
            else done(text);
        };
        request.onerror = request.ontimeout = function () { done(text); };
        try {
            request.open("HEAD", url, true);
            // A server that never answers must not keep the task from ending.
            request.timeout = 10000;
            request.send();
        } catch (e) {
            done(text);
        }
    }

    function pauseTask() {
        if (!task || task.paused) return;
        program.PauseTask("p");
        task.paused = true;
        setTaskState(task.label + "：已暂停");
        renderTask();
        $("resume").focus();
    }

    function resumeTask() {
        if (!task || !task.paused) return;
        program.PauseTask("c");
        task.paused = false;
        setTaskState(task.label + "：继续…");
        renderTask();
        $("pause").focus();
    }

    function stopTask() {
        if (!task) return;
        program.PauseTask("t");
        task.paused = false;
        task.stopping = true;
        setTaskState(task.label + "：正在停止…");
        renderTask();
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
        var names = queue.map(function (q) { return q.name; });
        var urls = queue.map(function (q) { return q.url; });
        if (startTask("down", program.importToPDA, items, names, "下载路书到导航仪", urls)) {
            queue = [];
            saveQueue();
            renderQueue();
        }
    }

    function exportBooks() {
        var ids = selectedBooks();
        if (!ids.length) return showMessage("请先勾选要上传的路书。");
        startTask("updata", program.exportFromPDA, ids.join(","), titlesOf(ids), "上传路书");
    }

    function deleteBooks() {
        var ids = selectedBooks();
        if (!ids.length) return showMessage("请先勾选要删除的路书。");
        askUser("从导航仪删除所选的 " + ids.length + " 个路书？", function () {
            // Positions count down, so that each removal leaves the others' positions alone.
            ids.sort(function (a, b) { return b - a; });
            startTask("delete", program.deleteSelected, ids.join(","), titlesOf(ids), "删除路书");
        });
    }

    // ---- files on the PC --------------------------------------------------------------------

    // The program asks the user for the file in the system's dialog and answers
    // <pcfile status="..." file="..." name="..." dropped="...">message</pcfile>.
    function pcFileOutcome(answer) {
        if (answer === undefined) {
            setConnected(false);
            showMessage("未连接导航仪。");
            return null;
        }
        var root = X.find(X.parse(answer), "pcfile");
        if (!root) return null;
        var outcome = {status: root.attrs.status, file: root.attrs.file || "",
                       name: root.attrs.name || "", message: X.textOf(root)};
        if (outcome.status === "refused") showMessage(outcome.message);
        return outcome;
    }

    // An installation the program has started: the import's progress, pause and stop.
    function installFromPC(method) {
        if (task) return showMessage("请等当前的任务结束。");
        var outcome = pcFileOutcome(method(""));
        if (!outcome || outcome.status !== "started") return;
        // What the navigator cannot keep is said now and again at the end.
        task = {kind: "down", verb: "安装", total: 1, label: "安装路书", items: [outcome.name],
                current: 0, urls: [], paused: false, stopping: false, note: outcome.message};
        $("taskState").textContent = "安装路书：准备中…";
        renderTask();
        if (outcome.message) showMessage(outcome.message);
        logEvent("开始安装 " + outcome.file + "（路书“" + outcome.name + "”）");
    }

    // A backup or restore the program has started: a progress message per file.
    function backupTask(label, verb, after) {
        task = {kind: "backup", verb: verb, noun: "文件", total: 0, label: label, items: [],
                current: 0, urls: [], paused: false, stopping: false, after: after};
        $("taskState").textContent = label + "：准备中…";
        renderTask();
    }

    // What the last backup or restore did, when its task has ended.
    function backupOutcome() {
        var root = X.find(X.parse(program.backupOutcome() || ""), "backup");
        if (!root) return null;
        return {state: root.attrs.state, files: Number(root.attrs.files) || 0,
                unchanged: Number(root.attrs.unchanged) || 0,
                replaced: Number(root.attrs.replaced) || 0,
                kept: X.children(root, "kept").map(X.textOf),
                problem: X.textOf(X.child(root, "problem"))};
    }

    function report(message, done) {
        var outcome = backupOutcome();
        var text = message || (outcome && outcome.state === "finished" ? done(outcome) :
                               outcome && outcome.state === "stopped" ? "已停止。" : "没有完成。");
        if (message && outcome && outcome.problem) text += "（" + outcome.problem + "）";
        showMessage(text);
        logEvent(text);
        return message ? null : outcome;
    }

    function backupNavigator() {
        if (task) return showMessage("请等当前的任务结束。");
        var outcome = pcFileOutcome(program.backupToPC(""));
        if (!outcome || outcome.status !== "started") return;
        backupTask("备份导航仪", "备份", function (message) {
            report(message, function (o) {
                return "导航仪已备份到“" + outcome.file + "”（" + o.files + " 个文件）。";
            });
        });
    }

    // The files that differ from the backup are kept the first time; the page asks about them
    // and restores again, replacing them, when the user agrees.
    function restoreNavigator(choice) {
        if (task) return showMessage("请等当前的任务结束。");
        var outcome = pcFileOutcome(program.restoreFromPC(choice));
        if (!outcome || outcome.status !== "started") return;
        backupTask("恢复备份", "恢复", function (message) {
            var done = report(message, function (o) {
                return "已从“" + outcome.file + "”恢复 " + o.files + " 个文件，" + o.unchanged +
                       " 个与备份相同" + (o.replaced ? "，替换了 " + o.replaced + " 个" : "") + "。";
            });
            if (!done || !done.kept.length) return;
            var shown = done.kept.slice(0, 8).join("\n") + (done.kept.length > 8 ? "\n…" : "");
            askUser("导航仪上有 " + done.kept.length + " 个文件与备份里的不同：\n" + shown +
                    "\n要用备份里的替换它们吗？", function () { restoreNavigator("replace"); });
        });
    }

    function saveGpx() {
        var ids = selectedBooks();
        var rbid = ids.length ? ids[0] : shownBook;
        if (rbid === null || rbid === undefined) return showMessage("请先选择要存成 GPX 的路书。");
        var outcome = pcFileOutcome(program.saveGpxToPC(String(rbid)));
        if (!outcome || outcome.status !== "saved") return;
        showMessage(outcome.message);
        logEvent("路书“" + outcome.name + "”存成 " + outcome.file);
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
        // A busy answer belongs to a task that was refused; the running one goes on.
        if (!task || message.indexOf("忙") >= 0) {
            if (message) showMessage(message);
            return;
        }
        if (!message) return endTask("");
        var finished = task;
        failure(finished, message, function (text) {
            if (task === finished) endTask(text);
        });
    };

    window.currentLushu = function (ordinal, action) {
        var n = parseInt(ordinal, 10) || 0;
        var verb = (task && task.verb) || ACTIONS[action] || "处理";
        if (!task) task = {kind: action, total: n, label: verb + "路书", items: [], urls: [],
                           paused: false, stopping: false};
        task.current = n;
        var name = task.items[n - 1];
        if (!task.paused && !task.stopping)
            setTaskState("正在" + verb + "第 " + n + " 个" + (task.noun || "路书") +
                         (name ? "“" + name + "”" : "") +
                         (task.total ? "（共 " + task.total + " 个）" : ""));
        $("taskBar").style.width = (task.total ? Math.min(100, (n - 1) / task.total * 100) : 0) + "%";
        renderTask();
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
        var mapRect = document.querySelector(".map-pane").getBoundingClientRect();
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
            item.setAttribute("role", "menuitem");
            item.tabIndex = -1;
            item.addEventListener("mousedown", function (e) { e.stopPropagation(); });
            item.addEventListener("click", function () { closeMenu(); entry[1](); });
            item.addEventListener("keydown", function (e) {
                var key = keyOf(e);
                var next = key === "ArrowDown" ? item.nextElementSibling :
                           key === "ArrowUp" ? item.previousElementSibling : null;
                if (key === "Enter") { closeMenu(); entry[1](); }
                else if (next) next.focus();
                else return;
                e.preventDefault();
            });
            menu.appendChild(item);
        });
        menu.hidden = false;
        menu.style.left = Math.min(x, window.innerWidth - menu.offsetWidth - 4) + "px";
        menu.style.top = Math.min(y, window.innerHeight - menu.offsetHeight - 4) + "px";
    }

    function closeMenu() { $("menu").hidden = true; }

    // ---- the page's own dialog ---------------------------------------------------------------

    var dialogAnswer = null;

    // Asks a yes/no question in the page; `yes` runs when the user agrees.
    function askUser(text, yes) {
        var back = $("dialog");
        $("dialogText").textContent = text;
        dialogAnswer = {yes: yes, focus: document.activeElement};
        back.hidden = false;
        $("dialogOk").focus();
    }

    function answerDialog(agreed) {
        if (!dialogAnswer) return;
        var answer = dialogAnswer;
        dialogAnswer = null;
        $("dialog").hidden = true;
        if (answer.focus && answer.focus.focus) answer.focus.focus();
        if (agreed) answer.yes();
    }

    // ---- layout ------------------------------------------------------------------------------

    var currentTab = "books";

    function switchTab(name) {
        currentTab = name;
        Array.prototype.forEach.call(document.querySelectorAll(".tabs button"), function (b) {
            setClass(b, "active", b.getAttribute("data-tab") === name);
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
        var answer = program.SetUsername(name);
        $("accountState").textContent = answer ? "已绑定" : "";
        keep("account", name);
        if (event) logEvent("绑定账号 " + name);
    }

    var map;

    var DEFAULT_TILES = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
    var DEFAULT_ATTRIBUTION = "© OpenStreetMap contributors";

    // The map over tiles from the address template of the setting "tiles" ("none": no tiles),
    // or the grid where the map library or the tiles cannot be had.
    function makeMap() {
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

    function start() {
        map = makeMap();
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
        // Focus rings only while the keyboard is in use, as :focus-visible would (IE11 has none).
        // Only a left or middle press closes the menu: a right press opens it where it happens.
        document.addEventListener("mousedown", function (e) {
            setClass(document.body, "keyboard", false);
            if (e.button !== 2 && !$("menu").contains(e.target)) closeMenu();
        });
        document.addEventListener("keydown", function (e) {
            setClass(document.body, "keyboard", true);
            if (keyOf(e) === "Escape") {
                closeMenu();
                answerDialog(false);
            }
        });
        $("dialogOk").addEventListener("click", function () { answerDialog(true); });
        $("dialogCancel").addEventListener("click", function () { answerDialog(false); });
        $("dialog").addEventListener("keydown", function (e) {
            // The dialog keeps the focus while it is open.
            if (keyOf(e) !== "Tab") return;
            e.preventDefault();
            ($("dialogOk") === document.activeElement ? $("dialogCancel") : $("dialogOk")).focus();
        });
        map.covered = function () {
            var canvas = $("map").getBoundingClientRect();
            return ["bookInfo", "message"].map($).concat(
                Array.prototype.slice.call(document.querySelectorAll(".map-pane .legend, .map-buttons")))
                .filter(function (e) { return e && !e.hidden; })
                .map(function (e) {
                    var r = e.getBoundingClientRect();
                    return {left: r.left - canvas.left, top: r.top - canvas.top,
                            right: r.right - canvas.left, bottom: r.bottom - canvas.top};
                });
        };
        $("openFile").addEventListener("click", function () { $("fileInput").click(); });
        $("fileInput").addEventListener("change", function () {
            var file = this.files && this.files[0];
            if (file) openFile(file);
            this.value = "";
        });
        $("about").textContent = "KorvelVantu" + (window.vantuVersion ? " " + window.vantuVersion : "") +
                                 " · 免费电子地图，路书随身行";
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
        $("pause").addEventListener("click", pauseTask);
        $("resume").addEventListener("click", resumeTask);
        $("stop").addEventListener("click", stopTask);
        $("account").addEventListener("submit", bindAccount);
        $("installPackage").addEventListener("click", function () {
            installFromPC(program.installPackageFromPC);
        });
        $("installGpx").addEventListener("click", function () { installFromPC(program.installGpxFromPC); });
        $("saveGpx").addEventListener("click", saveGpx);
        $("backup").addEventListener("click", backupNavigator);
        $("restore").addEventListener("click", function () { restoreNavigator(""); });
        $("zoomIn").addEventListener("click", function () { map.zoom(1.5); });
        $("zoomOut").addEventListener("click", function () { map.zoom(1 / 1.5); });
        $("fit").addEventListener("click", function () { map.fit(); });
        $("clearHistory").addEventListener("click", function () {
            history = [];
            program.writeFileText(HISTORY_FILE, "");
            renderHistory();
        });

        if (!program.inProgram) {
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
