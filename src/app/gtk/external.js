// window.external for the page: every method is one synchronous request to the program, which
// answers on its window thread. Runs before any script of the document, so the page's own
// changes to XMLHttpRequest or to built-in prototypes cannot reach these calls.
(function () {
    "use strict";
    var key = "@KEY@";
    var names = [@NAMES@];
    var Request = window.XMLHttpRequest;
    var proto = Request.prototype;
    var open = proto.open, send = proto.send;
    var status = Object.getOwnPropertyDescriptor(proto, "status").get;
    var responseText = Object.getOwnPropertyDescriptor(proto, "responseText").get;
    var apply = Reflect.apply;
    var charAt = String.prototype.charAt, substring = String.prototype.substring;
    var slice = Array.prototype.slice;
    var isInteger = Number.isInteger, toText = String, defineProperty = Object.defineProperty;

    // Each argument with its script type: strings with their length in UTF-16 units.
    function encode(value) {
        switch (typeof value) {
            case "string":
                return "s" + value.length + ":" + value;
            case "number":
                if (isInteger(value) && value >= -2147483648 && value <= 2147483647)
                    return "i" + toText(value) + ";";
                return "d" + toText(value) + ";";
            case "boolean":
                return value ? "b1;" : "b0;";
            case "undefined":
                return "u;";
            default:
                return value === null ? "n;" : "o;";
        }
    }

    function invoke(name, args) {
        var body = key + "\n";
        for (var i = 0; i < args.length; i++) body += encode(args[i]);
        var request = new Request();
        try {
            apply(open, request, ["POST", "vantu://bridge/" + name, false]);
            apply(send, request, [body]);
        } catch (e) {
            return undefined;
        }
        if (apply(status, request, []) !== 200) return undefined;
        var answer = apply(responseText, request, []);
        if (apply(charAt, answer, [0]) === "s") return apply(substring, answer, [1]);
        if (answer === "t") return true;
        return undefined;
    }

    var external = {};
    names.forEach(function (name) {
        defineProperty(external, name, {
            value: function () { return invoke(name, apply(slice, arguments, [])); },
            enumerable: true
        });
    });
    Object.freeze(external);
    defineProperty(window, "external", {value: external, writable: false, configurable: false});
})();
