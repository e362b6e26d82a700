// The bundled page's styles as IE11 lays them out: no property, value or selector that IE11
// lacks (browser support as caniuse records it, through doiuse).
module.exports = {
    plugins: ["stylelint-no-unsupported-browser-features"],
    reportNeedlessDisables: true,
    // The map library's own styles are not ours.
    ignoreFiles: ["**/leaflet/**"],
    rules: {
        "plugin/no-unsupported-browser-features": [true, {
            browsers: ["ie 11"],
            severity: "error",
            // What makes these two "partial" in IE11 is its list of flexbox bugs and the
            // overflow values "clip" and two-value overflow, which the page does not use;
            // the properties themselves work.
            ignore: ["flexbox", "css-overflow"],
        }],
    },
};
