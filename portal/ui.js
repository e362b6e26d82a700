// The page's user interface helpers: elements, keys by WebKit's names, list items that the
// keyboard reaches, the message line, the page's own yes/no dialog, the right-click menu, the
// tabs and the navigator's badge. Nothing here knows route books or the program.
var PortalUi = (function () {
    "use strict";

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

    // An item of a list to tick: its box (out of the Tab order, a click on it ticks only) and
    // its title; `open` runs on a click elsewhere or Enter.
    function tickItem(className, value, title, open) {
        var item = el("li", className);
        var box = el("input");
        box.type = "checkbox";
        box.value = value;
        box.tabIndex = -1;
        box.addEventListener("click", function (e) { e.stopPropagation(); });
        item.appendChild(box);
        item.appendChild(el("span", "title", title));
        listItem(item, open, box);
        return item;
    }

    // The values of the ticked boxes in the list `id`.
    function ticked(id) {
        return Array.prototype.map.call($(id).querySelectorAll("input:checked"),
                                        function (box) { return box.value; });
    }

    var messageTimer = null;

    function showMessage(text) {
        var box = $("message");
        box.textContent = text;
        box.hidden = !text;
        clearTimeout(messageTimer);
        if (text) messageTimer = setTimeout(function () { box.hidden = true; }, 8000);
    }

    var dialogAnswer = null;

    // Asks a yes/no question in the page; `yes` runs when the user agrees.
    // The page's own yes/no dialog: `yes` or `no` (optional) is called with the answer.
    function ask(text, yes, no) {
        // A question still open is answered No by the one that takes its place.
        if (dialogAnswer && dialogAnswer.no) dialogAnswer.no();
        $("dialogText").textContent = text;
        dialogAnswer = {yes: yes, no: no, focus: document.activeElement};
        $("dialog").hidden = false;
        $("dialogOk").focus();
    }

    function answer(agreed) {
        if (!dialogAnswer) return;
        var asked = dialogAnswer;
        dialogAnswer = null;
        $("dialog").hidden = true;
        if (asked.focus && asked.focus.focus) asked.focus.focus();
        if (agreed) asked.yes();
        else if (asked.no) asked.no();
    }

    // The menu at (x, y) in the window: `entries` are [text, action].
    function openMenu(x, y, entries) {
        var menu = $("menu");
        menu.innerHTML = "";
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

    var currentTab = "books";

    function showTab(name) {
        currentTab = name;
        Array.prototype.forEach.call(document.querySelectorAll(".tabs button"), function (b) {
            setClass(b, "active", b.getAttribute("data-tab") === name);
        });
        Array.prototype.forEach.call(document.querySelectorAll(".tab"), function (s) {
            s.hidden = s.id !== "tab-" + name;
        });
    }

    var connected = false;

    function setConnected(yes) {
        connected = yes;
        var badge = $("device");
        badge.className = "device " + (yes ? "on" : "off");
        badge.textContent = yes ? "导航仪已连接" : "未连接导航仪";
    }

    // The page-wide handlers: focus rings only while the keyboard is in use, the menu and the
    // dialog closing, the dialog keeping the focus, no browser menu.
    function start() {
        // As :focus-visible would (IE11 has none). Only a left or middle press closes the menu:
        // a right press opens it where it happens.
        document.addEventListener("mousedown", function (e) {
            setClass(document.body, "keyboard", false);
            if (e.button !== 2 && !$("menu").contains(e.target)) closeMenu();
        });
        document.addEventListener("keydown", function (e) {
            setClass(document.body, "keyboard", true);
            if (keyOf(e) === "Escape") {
                closeMenu();
                answer(false);
            }
        });
        $("dialogOk").addEventListener("click", function () { answer(true); });
        $("dialogCancel").addEventListener("click", function () { answer(false); });
        $("dialog").addEventListener("keydown", function (e) {
            if (keyOf(e) !== "Tab") return;
            e.preventDefault();
            ($("dialogOk") === document.activeElement ? $("dialogCancel") : $("dialogOk")).focus();
        });
        document.addEventListener("contextmenu", function (e) { e.preventDefault(); });
    }

    return {
        $: $, el: el, setClass: setClass, escapeXml: escapeXml, degrees: degrees, date: date,
        listItem: listItem, tickItem: tickItem, ticked: ticked, showMessage: showMessage,
        ask: ask, openMenu: openMenu, showTab: showTab, setConnected: setConnected, start: start,
        currentTab: function () { return currentTab; },
        connected: function () { return connected; }
    };
})();
