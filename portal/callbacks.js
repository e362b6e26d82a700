// The page's functions that the program calls, the other direction of bridge.js: a task's
// message and its end (kankan), its steps (currentLushu), a restore's question (askReplace), a
// navigator that came (PDALink), the window closing (onWinExit) and a right click
// (onRButtonDown). The program finds them by name
// on the window; they are defined here, once, and hand their arguments on in the page's types.
var PortalCallbacks = (function () {
    "use strict";

    // `page`: {message(text), step(ordinal, action), askReplace(), navigator(), closing(),
    // rightClick(x, y)}.
    function answer(page) {
        // A status's message comes with its code and the code of the PC's cause behind it.
        window.kankan = function (text, status, cause) {
            page.message(text, Number(status || 0), Number(cause || 0));
        };
        window.currentLushu = function (ordinal, action) { page.step(ordinal, action); };
        window.askReplace = function () { page.askReplace(); };
        window.PDALink = function () { page.navigator(); };
        window.onWinExit = function () { page.closing(); };
        // The position in the window, in pixels.
        window.onRButtonDown = function (x, y) {
            page.rightClick(parseInt(x, 10), parseInt(y, 10));
        };
    }

    return {answer: answer};
})();
