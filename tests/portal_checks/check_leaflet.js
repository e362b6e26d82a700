// The map library that the build bundles with the page (leaflet.js, as the argument names it):
// it must parse as ES5, which IE11 runs, and be the version that the page's map code was tested
// with. Debian's copy is no help there: libjs-leaflet 1.7.1 says "1.6.0" in its header and in its
// L.version, so a copy that a Debian package installed is known by the package's version, any
// other copy by its L.version.
"use strict";
const childProcess = require("child_process");
const espree = require("espree");
const fs = require("fs");

// What tiles.js and the e2e map scenarios were last run against.
const TESTED = "1.7.1";

// The package that installed `file` and its version ("1.7.1~dfsg-7"), or null.
function debianPackage(file) {
    const quiet = {encoding: "utf8", stdio: ["ignore", "pipe", "ignore"]};
    const run = (args) => childProcess.execFileSync("dpkg-query", args, quiet);
    try {
        const name = run(["-S", fs.realpathSync(file)]).split(":")[0].trim();
        return {name: name, version: run(["-W", "-f=${Version}", name]).trim()};
    } catch (e) {
        return null;
    }
}

// The upstream part of a Debian version: no epoch, no repack suffix, no Debian revision.
function upstream(version) {
    return version.replace(/^\d+:/, "").replace(/[~+].*$/, "").replace(/-[^-]*$/, "");
}

const file = process.argv[2];
let source;
try {
    source = fs.readFileSync(file, "utf8");
} catch (e) {
    console.error(file + ": cannot be read (" + e.code + "); install libjs-leaflet or set " +
                  "VANTU_LEAFLET_DIR");
    process.exit(1);
}
let status = 0;
try {
    espree.parse(source, {ecmaVersion: 5, sourceType: "script"});
} catch (e) {
    console.error(file + ":" + e.lineNumber + ":" + e.column + ": not ES5, IE11 cannot run it: " +
                  e.message);
    status = 1;
}
const declared = /^\s*var version = ["']([^"']+)["'];/m.exec(source);
const code = declared ? declared[1] : "unknown";
const owner = debianPackage(file);
const version = owner ? upstream(owner.version) : code;
const what = owner ? owner.name + " " + owner.version + ", its code says " + code : "its L.version";
if (version !== TESTED) {
    console.error(file + ": Leaflet " + version + " (" + what + "), but the map code was tested " +
                  "with " + TESTED + ": run the e2e map scenarios with it, then change TESTED in " +
                  __filename);
    status = 1;
} else if (!status) {
    console.log(file + ": Leaflet " + version + " (" + what + ") parses as ES5");
}
process.exit(status);
