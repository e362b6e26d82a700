// The page's npm libraries as the build bundles them (the folder of node_modules that
// scripts/page-libraries.sh installed, as the argument names it): each must be the version that
// cmake/page_libraries pins, which the editor and the chart were tested with, and its bundled
// file must parse as ES5, which IE11 runs.
"use strict";
const espree = require("espree");
const fs = require("fs");
const path = require("path");

// The file the build copies into the page's lib/ folder, per package.
const BUNDLED = {"leaflet-editable": "src/Leaflet.Editable.js", "chart.js": "dist/Chart.min.js"};

const modules = process.argv[2];
const pinned = require(path.join(__dirname, "../../cmake/page_libraries/package.json")).dependencies;
let status = 0;
for (const name of Object.keys(BUNDLED)) {
    const file = path.join(modules, name, BUNDLED[name]);
    let version, source;
    try {
        version = JSON.parse(fs.readFileSync(path.join(modules, name, "package.json"), "utf8")).version;
        source = fs.readFileSync(file, "utf8");
    } catch (e) {
        console.error(file + ": cannot be read (" + e.code + "); run scripts/page-libraries.sh");
        status = 1;
        continue;
    }
    if (version !== pinned[name]) {
        console.error(file + ": " + name + " " + version + ", but the page was tested with " +
                      pinned[name] + " (cmake/page_libraries)");
        status = 1;
        continue;
    }
    try {
        espree.parse(source, {ecmaVersion: 5, sourceType: "script"});
        console.log(file + ": " + name + " " + version + " parses as ES5");
    } catch (e) {
        console.error(file + ":" + e.lineNumber + ":" + e.column + ": not ES5, IE11 cannot run it: " +
                      e.message);
        status = 1;
    }
}
process.exit(status);
