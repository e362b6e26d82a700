// The page's settings (keys "portal.*" of the program's settings file), the account they keep,
// and the history under 记录 (a text file of the program's, the newest 60 lines).
var PortalSettings = (function () {
    "use strict";

    var program = PortalBridge;
    var ui = PortalUi;
    var HISTORY_FILE = "portal_history.txt";
    var history = [];

    function setting(key, fallback) {
        var value = program.getValue("portal." + key);
        return value === undefined || value === "" ? fallback : value;
    }

    function keep(key, value) { program.writeValue("portal." + key, value); }

    function renderHistory() {
        var list = ui.$("historyList");
        list.innerHTML = "";
        history.slice().reverse().forEach(function (line) {
            list.appendChild(ui.el("li", "", line));
        });
        if (!history.length) list.appendChild(ui.el("li", "empty", "还没有记录"));
    }

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

    function clearHistory() {
        history = [];
        program.writeFileText(HISTORY_FILE, "");
        renderHistory();
    }

    // The account of the form: told to the program and kept; `event` (the form's submit) also
    // goes into the history.
    function bindAccount(event) {
        if (event) event.preventDefault();
        var name = ui.$("accountName").value.trim();
        if (!name) return;
        var answer = program.SetUsername(name);
        ui.$("accountState").textContent = answer ? "已绑定" : "";
        keep("account", name);
        if (event) logEvent("绑定账号 " + name);
    }

    return {setting: setting, keep: keep, loadHistory: loadHistory, logEvent: logEvent,
            clearHistory: clearHistory, bindAccount: bindAccount};
})();
