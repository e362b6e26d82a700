// The page's only way to the program: the 14 methods of window.external and the program's own,
// each called directly with exactly its own number of arguments, in the order of the program's
// table of methods (a test of the program holds this file to that table). Both hosts serve the
// page through this file.
//
// The Windows program's external object runs a method when it is merely read (as the maker's
// portal expects), so nothing here reads a method as a value: no typeof, no apply, no
// external[name]. It also takes the arguments last first, so an extra argument would take the
// place of the real one. Every answer is text, true, or undefined for no value (no navigator,
// not in the program, or anything thrown on the way).
var PortalBridge = (function (external) {
    "use strict";

    function text(value) {
        return value === undefined || value === null ? "" : String(value);
    }

    // A harmless read: only the program answers it with text. A browser's own external object
    // throws for the unknown name, and a document the program does not trust gets no value.
    function probe() {
        try {
            return typeof external.getValue("portal.tab") === "string";
        } catch (e) {
            return false;
        }
    }

    var inProgram = probe();

    function guarded(call) {
        if (!inProgram) return undefined;
        try {
            return call();
        } catch (e) {
            return undefined;
        }
    }

    return {
        inProgram: inProgram,
        getValue: function (key) {
            return guarded(function () { return external.getValue(text(key)); });
        },
        writeValue: function (key, value) {
            return guarded(function () { return external.writeValue(text(key), text(value)); });
        },
        getFileText: function (name) {
            return guarded(function () { return external.getFileText(text(name)); });
        },
        writeFileText: function (name, content) {
            return guarded(function () {
                return external.writeFileText(text(name), text(content));
            });
        },
        SetUsername: function (account) {
            return guarded(function () { return external.SetUsername(text(account)); });
        },
        connToPDA: function (mode) {
            return guarded(function () { return external.connToPDA(text(mode)); });
        },
        GetPdaAddr: function () {
            return guarded(function () { return external.GetPdaAddr(); });
        },
        poiToPDA: function (place) {
            return guarded(function () { return external.poiToPDA(text(place)); });
        },
        deleteSelectedPoi: function (ids) {
            return guarded(function () { return external.deleteSelectedPoi(text(ids)); });
        },
        showRoadbook: function (rbid) {
            return guarded(function () { return external.showRoadbook(text(rbid)); });
        },
        importToPDA: function (items) {
            return guarded(function () { return external.importToPDA(text(items)); });
        },
        deleteSelected: function (ids) {
            return guarded(function () { return external.deleteSelected(text(ids)); });
        },
        exportFromPDA: function (ids) {
            return guarded(function () { return external.exportFromPDA(text(ids)); });
        },
        PauseTask: function (command) {
            return guarded(function () { return external.PauseTask(text(command)); });
        },
        // The program's own: each asks the user for a file in the system's dialog.
        installPackageFromPC: function (name) {
            return guarded(function () { return external.installPackageFromPC(text(name)); });
        },
        installGpxFromPC: function (name) {
            return guarded(function () { return external.installGpxFromPC(text(name)); });
        },
        saveGpxToPC: function (rbid) {
            return guarded(function () { return external.saveGpxToPC(text(rbid)); });
        },
        backupToPC: function (name) {
            return guarded(function () { return external.backupToPC(text(name)); });
        },
        restoreFromPC: function (choice) {
            return guarded(function () { return external.restoreFromPC(text(choice)); });
        },
        backupOutcome: function () {
            return guarded(function () { return external.backupOutcome(); });
        },
        // The route book editor's: the editing document in JSON (docs/edit-document.md).
        editRouteBook: function (source) {
            return guarded(function () { return external.editRouteBook(text(source)); });
        },
        saveEditToPDA: function (request) {
            return guarded(function () { return external.saveEditToPDA(text(request)); });
        },
        saveEditToPC: function (request) {
            return guarded(function () { return external.saveEditToPC(text(request)); });
        }
    };
})(window.external);
