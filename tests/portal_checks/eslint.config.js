// The bundled page's scripts as IE11 runs them: ES5 syntax only, and no browser or language API
// that IE11 lacks.
const compat = require("eslint-plugin-compat");

module.exports = [
    // The libraries are not ours to lint (copies land here only in build trees); the code of
    // ours that uses it is.
    {ignores: ["**/leaflet/**", "**/lib/**"]},
    {
        files: ["**/*.js"],
        languageOptions: {ecmaVersion: 5, sourceType: "script"},
        linterOptions: {reportUnusedDisableDirectives: "error"},
        plugins: {compat},
        settings: {browsers: ["ie 11"], lintAllEsApis: true},
        rules: {
            "compat/compat": "error",
            // A function declared inside a block is an error in ES5's strict mode.
            "no-inner-declarations": ["error", "functions"],
        },
    },
];
