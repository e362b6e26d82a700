// Every page of the bundled portal opts into IE11's own mode first thing in its head: without
// it, the WebBrowser control of an embedding program shows the page in IE7's mode.
"use strict";
const fs = require("fs");
const path = require("path");

const OPT_IN = '<meta http-equiv="X-UA-Compatible" content="IE=edge">';

function pages(folder) {
    return fs.readdirSync(folder, {withFileTypes: true}).flatMap((entry) => {
        const file = path.join(folder, entry.name);
        if (entry.isDirectory()) return pages(file);
        return /\.html?$/i.test(entry.name) ? [file] : [];
    });
}

const found = pages(process.argv[2]);
const late = found.filter((page) => {
    const head = /<head(\s[^>]*)?>\s*/i.exec(fs.readFileSync(page, "utf8"));
    return !head || !head.input.startsWith(OPT_IN, head.index + head[0].length);
});
for (const page of late) console.error(page + ": the head does not start with " + OPT_IN);
if (!found.length) console.error("no pages in " + process.argv[2]);
else if (!late.length) console.log("every page (" + found.length + ") opens its head with " + OPT_IN);
process.exit(found.length && !late.length ? 0 : 1);
