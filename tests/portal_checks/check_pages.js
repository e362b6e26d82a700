// Every page of the bundled portal opts into IE11's own mode first thing in its head: without
// it, the WebBrowser control of an embedding program shows the page in IE7's mode. The scripts
// and style sheets the pages name are in the folder (the libraries' leaflet/ and lib/ aside,
// which the build adds), and every script of the folder is loaded by a page: without a bundler,
// a part left out of a page's list is simply missing.
"use strict";
const fs = require("fs");
const path = require("path");

const OPT_IN = '<meta http-equiv="X-UA-Compatible" content="IE=edge">';

function files(folder) {
    return fs.readdirSync(folder, {withFileTypes: true}).flatMap((entry) => {
        const file = path.join(folder, entry.name);
        return entry.isDirectory() ? files(file) : [file];
    });
}

const folder = process.argv[2];
const all = files(folder);
const found = all.filter((file) => /\.html?$/i.test(file));
const problems = [];
const loaded = new Set();
for (const page of found) {
    const text = fs.readFileSync(page, "utf8");
    const head = /<head(\s[^>]*)?>\s*/i.exec(text);
    if (!head || !head.input.startsWith(OPT_IN, head.index + head[0].length))
        problems.push(page + ": the head does not start with " + OPT_IN);
    for (const m of text.matchAll(/<(?:script\s[^>]*src|link\s[^>]*href)="([^"]+)"/gi)) {
        const named = path.join(path.dirname(page), m[1]);
        loaded.add(named);
        if (!/^(leaflet|lib)\//.test(m[1]) && !all.includes(named))
            problems.push(page + ": names " + m[1] + ", which is not there");
    }
}
for (const script of all.filter((file) => file.endsWith(".js") && !loaded.has(file)))
    problems.push(script + ": no page loads it");
for (const problem of problems) console.error(problem);
if (!found.length) console.error("no pages in " + folder);
else if (!problems.length)
    console.log("every page (" + found.length + ") opens its head with " + OPT_IN +
                " and loads every script of the folder");
process.exit(found.length && !problems.length ? 0 : 1);
