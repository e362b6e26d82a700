// A forgiving reader for the program's XML answers. The program writes its documents by joining
// fixed pieces and values without escaping anything, so a title may hold "&", "<" or a quote;
// a strict parser would refuse the whole list for one such title. GPX files from the PC are read
// with it too.
var PortalXml = (function () {
    "use strict";

    function node(name, attrs) {
        return {name: name, attrs: attrs || {}, children: [], text: ""};
    }

    // The end of the tag that starts at `lt`: the first ">" outside quotes, unless a stray quote
    // would run past the next tag; then simply the first ">".
    function tagEnd(text, lt) {
        var next = text.indexOf("<", lt + 1);
        var quoted = false;
        for (var i = lt + 1; i < text.length; i++) {
            var c = text.charAt(i);
            if (c === '"') quoted = !quoted;
            else if (c === ">" && !quoted) return i;
            if (next >= 0 && i > next && quoted) break;
        }
        var plain = text.indexOf(">", lt + 1);
        return plain < 0 ? text.length : plain;
    }

    var NAMED = {amp: "&", lt: "<", gt: ">", quot: '"', apos: "'"};

    // A character beyond the first 65536 as its two UTF-16 units (IE11 has no fromCodePoint).
    function character(code) {
        if (code < 0x10000) return String.fromCharCode(code);
        code -= 0x10000;
        return String.fromCharCode(0xD800 + (code >> 10), 0xDC00 + (code & 0x3FF));
    }

    // Character and entity references as written; a "&" that starts none stays as it is (the
    // program copies names into its documents unescaped).
    function decode(text) {
        return text.replace(/&(#x[0-9A-Fa-f]{1,6}|#[0-9]{1,7}|[a-z]{2,4});/g, function (all, ref) {
            if (ref.charAt(0) !== "#") return NAMED.hasOwnProperty(ref) ? NAMED[ref] : all;
            var code = ref.charAt(1) === "x" ? parseInt(ref.slice(2), 16) : parseInt(ref.slice(1), 10);
            if (!(code > 0 && code <= 0x10FFFF) || (code >= 0xD800 && code <= 0xDFFF)) return all;
            return character(code);
        });
    }

    function attributes(body) {
        var attrs = {};
        var re = /([^\s=\/]+)\s*=\s*"([^"]*)"/g;
        var m;
        while ((m = re.exec(body)) !== null) attrs[m[1]] = decode(m[2]);
        return attrs;
    }

    // GPX files from track sites write names and descriptions as character data sections.
    var CDATA = "<![CDATA[";

    function parse(text) {
        var root = node("#document");
        var stack = [root];
        var i = 0;
        text = text || "";
        while (i < text.length) {
            var lt = text.indexOf("<", i);
            if (lt < 0) lt = text.length;
            if (lt > i) stack[stack.length - 1].text += text.slice(i, lt);
            if (lt >= text.length) break;
            if (text.substr(lt, CDATA.length) === CDATA) {
                var close = text.indexOf("]]>", lt);
                var end = close < 0 ? text.length : close;
                // Text as written: its "&" stay when the element's text is decoded.
                var data = text.slice(lt + CDATA.length, end);
                stack[stack.length - 1].text += data.replace(/&/g, "&amp;");
                i = close < 0 ? text.length : close + 3;
                continue;
            }
            var skip = [["<?", "?>"], ["<!--", "-->"]];
            var skipped = false;
            for (var s = 0; s < skip.length; s++) {
                if (text.substr(lt, skip[s][0].length) === skip[s][0]) {
                    var e = text.indexOf(skip[s][1], lt);
                    i = e < 0 ? text.length : e + skip[s][1].length;
                    skipped = true;
                    break;
                }
            }
            if (skipped) continue;
            var gt = tagEnd(text, lt);
            var body = text.slice(lt + 1, gt).trim();
            // A "<" that starts no tag is text (a title may hold one).
            if (!/^[A-Za-z_\/]/.test(body) || body.indexOf("<") >= 0) {
                stack[stack.length - 1].text += "<";
                i = lt + 1;
                continue;
            }
            i = gt + 1;
            if (body.charAt(0) === "/") {
                var closing = body.slice(1).trim();
                for (var k = stack.length - 1; k > 0; k--) {
                    if (stack[k].name === closing) {
                        stack.length = k;
                        break;
                    }
                }
                continue;
            }
            var selfClosing = body.charAt(body.length - 1) === "/";
            if (selfClosing) body = body.slice(0, -1);
            var name = body.split(/\s/)[0];
            if (!name) continue;
            var element = node(name, attributes(body.slice(name.length)));
            stack[stack.length - 1].children.push(element);
            if (!selfClosing) stack.push(element);
        }
        return root;
    }

    function children(parent, name) {
        return parent ? parent.children.filter(function (c) { return c.name === name; }) : [];
    }

    function child(parent, name) {
        return children(parent, name)[0] || null;
    }

    // The first element of that name at any depth.
    function find(parent, name) {
        if (!parent) return null;
        for (var i = 0; i < parent.children.length; i++) {
            var c = parent.children[i];
            if (c.name === name) return c;
            var deeper = find(c, name);
            if (deeper) return deeper;
        }
        return null;
    }

    function rawText(element) {
        return element.text + element.children.map(rawText).join("");
    }

    // The element's text with its references decoded, once.
    function textOf(element) {
        return element ? decode(rawText(element)) : "";
    }

    return {parse: parse, children: children, child: child, find: find, textOf: textOf,
            decode: decode};
})();
