#include "bridge/page_method_table.h"

#include <iterator>

#include "bridge/edit_methods.h"
#include "bridge/pc_files.h"
#include "bridge/program_methods.h"
#include "bridge/settings_store.h"
#include "ops/poi_operations.h"
#include "ops/route_book_list.h"
#include "ops/route_book_view.h"
#include "tasks/account_binding.h"

namespace {

using Args = std::vector<ScriptValue>;

// getValue: the setting of the last argument's name, "" without one.
void readSetting(const SettingsStore& settings, const Args& args, ScriptResult* result) {
    auto key = textArgument(args, 0);
    answerText(result, key ? settings.getValue(*key) : std::string());
}

// writeValue and writeFileText store nothing without both their texts, so that nothing already
// stored is lost; they answer true all the same.
void writeSetting(const SettingsStore& settings, const Args& args, ScriptResult* result) {
    auto key = textArgument(args, 1);
    auto value = valueArgument(args, 0);
    if (key && value) settings.writeValue(*key, value->c_str());
    answerTrue(result);
}

// getFileText reads only with exactly one argument, and answers true otherwise.
void readPageFile(const SettingsStore& settings, const Args& args, ScriptResult* result) {
    if (args.size() != 1) return answerTrue(result);
    auto name = textArgument(args, 0);
    answerText(result, name ? settings.getFileText(*name) : std::string());
}

void writePageFile(const SettingsStore& settings, const Args& args, ScriptResult* result) {
    auto name = textArgument(args, 1);
    auto content = valueArgument(args, 0);
    if (name && content) settings.writeFileText(*name, *content);
    answerTrue(result);
}

MethodOutcome placesEdited(std::string answer, int editResult, const char* why) {
    return {std::move(answer), editResult < 0, editResult < 0 ? why : nullptr};
}

// The methods for files on the PC answer an element that says itself why they refused.
MethodOutcome pcFile(std::string answer) {
    bool refused = answer.find("status=\"refused\"") != std::string::npos;
    return {std::move(answer), refused, nullptr};
}

using K = MethodKind;

const PageMethod kMethods[] = {
    {"getValue", 0, "KEY", K::Setting, readSetting, "the setting KEY from vantu.ini"},
    {"writeValue", 1, "KEY VALUE", K::Setting, writeSetting,
     "stores VALUE (text, or int:N, num:X, bool:...) as the setting KEY; true"},
    {"getFileText", 2, "NAME", K::Setting, readPageFile, "the text of the page's text file NAME"},
    {"writeFileText", 3, "NAME CONTENT", K::Setting, writePageFile,
     "writes the page's text file NAME; true"},
    {"SetUsername", 4, "ACCOUNT", K::Open,
     [](ProgramState& p, std::string t) {
         return MethodOutcome{SetUsername(p.device, p.device.seat, t)};
     },
     "binds the account for uploads; the verified account name"},
    {"connToPDA", 5, "TEXT", K::Device,
     [](ProgramState& p, std::string t) { return MethodOutcome{connToPDA(p.device, t)}; },
     "[navigator] the route book list; TEXT starting with r reads the navigator again"},
    {"GetPdaAddr", 6, "", K::Device,
     [](ProgramState& p, std::string) { return MethodOutcome{getPdaAddr(p.device)}; },
     "[navigator] the saved places"},
    {"poiToPDA", 7, "PLACES", K::Device,
     [](ProgramState& p, std::string t) {
         int edit = 1;
         std::string answer = poiToPDA(p.device, t, &edit);
         return placesEdited(std::move(answer), edit,
                             "refused its text (not well-formed XML); no place was added");
     },
     "[navigator] adds places: '<p lng=\"11600000\" lat=\"3900000\">Home</p>'..."},
    {"deleteSelectedPoi", 8, "IDS", K::Device,
     [](ProgramState& p, std::string t) {
         int edit = 1;
         std::string answer = deleteSelectedPoi(p.device, t, &edit);
         return placesEdited(std::move(answer), edit,
                             "refused its ids (negative, out of range or repeated); no place was "
                             "removed");
     },
     "[navigator] removes places by their ids in the list: 2,0"},
    {"showRoadbook", 9, "RBID", K::Device,
     [](ProgramState& p, std::string t) { return MethodOutcome{showRoadbook(p.device, t)}; },
     "[navigator] one route book in full, by its rbid in the list"},
    {"importToPDA", 10, "ITEMS", K::Import,
     [](ProgramState& p, std::string t) {
         return MethodOutcome{importToPDA(p.device, std::move(t))};
     },
     "[navigator, task] installs '<rb><url>URL</url><name>NAME</name></rb>'..."},
    {"deleteSelected", 11, "RBIDS", K::Device,
     [](ProgramState& p, std::string t) {
         return MethodOutcome{deleteSelected(p.device, std::move(t))};
     },
     "[navigator, task] deletes route books by rbid: 2,0"},
    {"exportFromPDA", 12, "RBIDS", K::Device,
     [](ProgramState& p, std::string t) {
         return MethodOutcome{exportFromPDA(p.device, std::move(t))};
     },
     "[navigator, task] uploads route books to the route book server: 0,3"},
    {"PauseTask", 13, "p|c|t", K::Command,
     [](ProgramState& p, std::string t) {
         PauseTask(p.device, t);
         return MethodOutcome{};
     },
     "pauses, continues or stops the running task"},
    // The program's own: files on the PC, which the user chooses in the system's dialog.
    {"installPackageFromPC", 14, "NAME", K::Own,
     [](ProgramState& p, std::string t) { return pcFile(installPackageFromPC(p.device, t)); },
     "[navigator, task, dialog] installs a package from the PC as NAME (\"\": its own)"},
    {"installGpxFromPC", 15, "NAME", K::Own,
     [](ProgramState& p, std::string t) { return pcFile(installGpxFromPC(p.device, t)); },
     "[navigator, task, dialog] installs a GPX file as route book NAME (\"\": the file's)"},
    {"saveGpxToPC", 16, "RBID", K::Own,
     [](ProgramState& p, std::string t) { return pcFile(saveGpxToPC(p.device, t)); },
     "[navigator, dialog] saves a route book as a GPX 1.1 file on the PC"},
    {"backupToPC", 17, "NAME", K::Own,
     [](ProgramState& p, std::string t) { return pcFile(backupToPC(p.device, p.lastBackup, t)); },
     "[navigator, task, dialog] backs the navigator up into a zip (NAME: offered name)"},
    {"restoreFromPC", 18, "\"\"|replace", K::Own,
     [](ProgramState& p, std::string t) {
         return pcFile(restoreFromPC(p.device, p.lastBackup, t));
     },
     "[navigator, task, dialog] restores a backup, keeping files that differ"},
    {"backupOutcome", 19, "", K::OwnOpen,
     [](ProgramState& p, std::string) {
         return MethodOutcome{backupOutcome(p.device, p.lastBackup)};
     },
     "what the last backup or restore did (the files that differ)"},
    // The route book editor's: the editing document (docs/edit-document.md) in ASCII JSON.
    {"editRouteBook", 20, "RBID|package", K::Own,
     [](ProgramState& p, std::string t) { return MethodOutcome{editRouteBook(p.device, t)}; },
     "[navigator, dialog] a route book (or a package's) as the editing document, in JSON"},
    {"saveEditToPDA", 21, "NAME\\n[replace]\\nDOCUMENT", K::Own,
     [](ProgramState& p, std::string t) { return pcFile(saveEditToPDA(p.device, t)); },
     "[navigator, task] writes an editing document to the navigator as route book NAME"},
    {"saveEditToPC", 22, "package|gpx\\nDOCUMENT", K::OwnOpen,
     [](ProgramState& p, std::string t) { return pcFile(saveEditToPC(p.device, t)); },
     "[dialog] saves an editing document as a package or GPX file on the PC"},
};

}  // namespace

size_t PageMethod::argumentCount() const {
    size_t words = 0;
    for (const char* c = arguments; *c != '\0'; ++c)
        if (*c != ' ' && (c == arguments || c[-1] == ' ')) ++words;
    return words;
}

std::span<const PageMethod> pageMethods() {
    return kMethods;
}

const PageMethod* findPageMethod(std::string_view name) {
    for (const PageMethod& method : kMethods)
        if (name == method.name) return &method;
    return nullptr;
}

const PageMethod* pageMethodAt(int32_t dispid) {
    for (const PageMethod& method : kMethods)
        if (dispid == method.dispid) return &method;
    return nullptr;
}
