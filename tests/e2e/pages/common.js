// What the test pages record: every method call with its typed arguments and answer, every page
// function the program calls, and the DOM events the tests cause. The record goes back to the
// test through writeFileText.
var record = [];

function show(value) {
    if (value === undefined) return "undefined";
    if (typeof value === "string") return JSON.stringify(value);
    return typeof value + ":" + String(value);
}

function flush() {
    window.external.writeFileText("e2e-record.txt", record.join("\n") + "\n");
}

function note(line) {
    record.push(line);
    flush();
}

function call(name) {
    var args = Array.prototype.slice.call(arguments, 1);
    var result = window.external[name].apply(window.external, args);
    record.push("call " + name + "(" + args.map(show).join(",") + ") -> " + show(result));
    return result;
}

function pageFunction(name) {
    return function () {
        note("page " + name + "(" + Array.prototype.slice.call(arguments).map(show).join(",") + ")");
    };
}

["kankan", "currentLushu", "PDALink", "onRButtonDown", "onWinExit"].forEach(function (name) {
    window[name] = pageFunction(name);
});

function watchInput() {
    document.addEventListener("mousedown", function (e) {
        note("dom mousedown button " + e.button + " at " + e.clientX + "," + e.clientY);
    });
    document.addEventListener("contextmenu", function () { note("dom contextmenu"); });
    document.addEventListener("keydown", function (e) { note("dom keydown " + e.key); });
    document.addEventListener("mouseup", function (e) {
        if (e.button === 0) note("dom selection " + JSON.stringify(String(window.getSelection())));
    });
}
