// The bundled page's reader of the program's documents, which escape nothing.
"use strict";
const fs = require("fs");
const path = require("path");
const assert = require("assert");
const vm = require("vm");
const X = vm.runInThisContext(fs.readFileSync(path.join(process.argv[2], "xml.js"), "utf8") +
                              "\nPortalXml");

function titles(list) {
    const root = X.find(X.parse(list), "rblist");
    return X.children(root, "rb").map(rb => X.textOf(X.child(rb, "title")) + "=" +
                                            X.textOf(X.child(rb, "rbid")));
}

const head = '<?xml version="1.0" encoding="GBK" ?><rblist count="2" page="1">';
const cases = [
    [head + "<rb><title>Day2</title><rbid>1</rbid></rb><rb><title>Day1</title><rbid>0</rbid></rb></rblist>",
     ["Day2=1", "Day1=0"]],
    [head + "<rb><title>A & B</title><rbid>1</rbid></rb><rb><title>x&amp;y</title><rbid>0</rbid></rb></rblist>",
     ["A & B=1", "x&y=0"]],
    // References are decoded once; a "&" that starts none stays as written.
    [head + "<rb><title>Gate &amp; garden</title><rbid>1</rbid></rb><rb><title>&#20013;&#x6587; " +
     "&amp;lt; &bogus; &#0; &#xD800; R&D &#x1F5FA;&#65535;&#x10FFFF;</title><rbid>0</rbid></rb></rblist>",
     ["Gate & garden=1", "中文 &lt; &bogus; &#0; &#xD800; R&D \u{1F5FA}\uFFFF\u{10FFFF}=0"]],
    [head + "<rb><title>1<2 <b</title><rbid>1</rbid></rb><rb><title>a\"b</title><rbid>0</rbid></rb></rblist>",
     ["1<2 <b=1", 'a"b=0']],
    [head + "<rb><title>长城一日游</title><rbid>0</rbid></rb></rblist>", ["长城一日游=0"]],
    ['<?xml version="1.0" encoding="GBK" ?><rblist count="0" page="1"></rblist>', []],
    ["", []],
];
for (const [text, expected] of cases) assert.deepStrictEqual(titles(text), expected, text);

// A route book: attributes, self-closed points, groups and the description.
const book = X.find(X.parse(
    '<?xml version="1.0" encoding="GBK" ?><RouteBook type="lushu" author="Li" name="Trip" ' +
    'mileage="230000" img=""><poilist><poi title="Gate" lng="11639000" lat="3990000" img="">' +
    '</poi></poilist><linelist><line title="Leg" id="2" lng="11640000" lat="3991000" img="">' +
    'North</line></linelist><printlist><lineId id="1"><p lng="1" lat="2" /><p lng="3" lat="4" />' +
    '</lineId><lineId id="2"><p lng="5" lat="6" /></lineId></printlist><Description>Nice & easy' +
    '</Description></RouteBook>'), "RouteBook");
assert.strictEqual(book.attrs.name, "Trip");
assert.strictEqual(X.find(X.parse('<poi title="Tom &amp; Jerry &quot;1&quot;"></poi>'), "poi").attrs.title,
                   'Tom & Jerry "1"');
assert.strictEqual(book.attrs.mileage, "230000");
const groups = X.children(X.child(book, "printlist"), "lineId");
assert.deepStrictEqual(groups.map(g => g.attrs.id + ":" + X.children(g, "p").length), ["1:2", "2:1"]);
assert.deepStrictEqual(X.children(groups[0], "p")[1].attrs, {lng: "3", lat: "4"});
assert.strictEqual(X.textOf(X.child(X.child(book, "linelist"), "line")), "North");
assert.strictEqual(X.textOf(X.child(book, "Description")), "Nice & easy");

// The saved places' list and its items share the element name.
const places = X.find(X.parse(
    '<?xml version="1.0" encoding="GB2312" ?><point page="1" count="2"><point id="0" ' +
    'lastUpDate="" lng="11600000" lat="3900000">Home</point><point id="1" lng="1" lat="2">' +
    '</point></point>'), "point");
assert.deepStrictEqual(X.children(places, "point").map(p => p.attrs.id + ":" + X.textOf(p)),
                       ["0:Home", "1:"]);
console.log("portal xml reader: all cases passed");
