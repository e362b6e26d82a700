#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "cli_program.h"
#include "formats/edit_document.h"
#include "navigator_commands.h"
#include "options.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/route_book_edit.h"

// A route book of the navigator as the editing document and back: edit-export, edit-import.
namespace cli {
namespace {

void printWarnings(const char* command, const std::vector<EditWarning>& warnings) {
    for (const EditWarning& w : warnings)
        std::fprintf(stderr, "vantu-cli %s: warning: %s%s%s\n", command, w.field.c_str(),
                     w.field.empty() ? "" : ": ", w.reason.c_str());
}

// The document of the route book `name` copied into `folder`, checked as edit-import will check
// it; nothing, said on standard error, when it cannot be one.
std::optional<std::string> documentOf(const std::string& folder, const std::string& name) {
    SetDocument set = readRouteBookSet(folder, name);
    // The set's refusals name its files (ANSI); the document's its fields (UTF-8).
    std::string refusal = toTerminal(set.refusal);
    std::string text;
    if (set.document) {
        for (const std::string& file : set.inexact)
            std::fprintf(stderr,
                         "vantu-cli edit-export: warning: will not come back byte for byte: %s\n",
                         toTerminal(file).c_str());
        text = writeEditDocument(*set.document);
        EditReading reading = readEditDocument(text);
        refusal = reading.refusal;
        printWarnings("edit-export", reading.warnings);
    }
    if (refusal.empty()) return text;
    std::fprintf(stderr, "vantu-cli edit-export: %s cannot be edited: %s\n",
                 toTerminal(name).c_str(), refusal.c_str());
    return std::nullopt;
}

int runEditExport(const std::vector<std::string>& words) {
    Output output;
    ParsedOptions parsed;
    if (!takeOptions(words, output, "edit-export", {}, parsed)) return kExitUsage;
    const std::vector<std::string>& args = parsed.arguments;
    if (args.size() != 2) {
        std::fprintf(stderr, "vantu-cli edit-export: give NAME and OUT.json\n");
        return kExitUsage;
    }
    std::optional<std::string> out = localPath(args[1], "edit-export");
    if (!out) return kExitFile;
    CliProgram program(output);
    std::optional<std::string> name = findRouteBook(program, args[0], "edit-export");
    if (!name) return program.exitCode();
    StagingFolder staging;
    if (!staging.ok()) {
        std::fprintf(stderr,
                     "vantu-cli edit-export: cannot make a folder in the temporary folder\n");
        return kExitFile;
    }
    if (!fetchRouteBook(program, staging.path(), *name)) {
        program.note(kExitFailed);
        return program.exitCode();
    }
    std::optional<std::string> text = documentOf(staging.path(), *name);
    const std::string written = platform::joinPath(staging.path(), "document.json");
    if (!text) {
        program.note(kExitFile);
    } else if (!platform::writeWholeFile(written, *text) ||
               !writeOut(written, *out, args[1], "edit-export")) {
        program.note(kExitFile);
    }
    return program.exitCode();
}

// The document in the file `given` (UTF-8 as on the command line), read and checked; nothing,
// said on standard error, when it cannot be read or is refused.
std::optional<EditDocument> readDocumentFile(const std::string& given) {
    std::optional<std::string> path = localPath(given, "edit-import");
    if (!path) return std::nullopt;
    platform::OsError error;
    std::optional<platform::FileInfo> info = platform::fileInfo(*path, &error);
    std::string text;
    if (!info || (info->size <= edit_limits::kDocumentBytes &&
                  !platform::readWholeFile(*path, text, &error))) {
        std::fprintf(stderr, "vantu-cli edit-import: cannot read %s: %s\n", given.c_str(),
                     toTerminal(error.text).c_str());
        return std::nullopt;
    }
    if (info->size > edit_limits::kDocumentBytes) {
        std::fprintf(stderr, "vantu-cli edit-import: %s is refused: it is larger than %zu bytes\n",
                     given.c_str(), edit_limits::kDocumentBytes);
        return std::nullopt;
    }
    EditReading reading = readEditDocument(text);
    if (!reading.document) {
        std::fprintf(stderr, "vantu-cli edit-import: %s is refused: %s\n", given.c_str(),
                     reading.refusal.c_str());
        return std::nullopt;
    }
    printWarnings("edit-import", reading.warnings);
    return std::move(reading.document);
}

int runEditImport(const std::vector<std::string>& words) {
    Output output;
    bool replace = false;
    ParsedOptions parsed = parseOptions(
        words,
        {{"--replace", &replace}, {"--ansi", &output.ansi}, {"--page-calls", &output.pageCalls}});
    if (!parsed.unknown.empty())
        std::fprintf(stderr, "vantu-cli edit-import: unknown option %s\n", parsed.unknown.c_str());
    else if (parsed.arguments.size() != 2)
        std::fprintf(stderr, "vantu-cli edit-import: give IN.json and NAME\n");
    if (!parsed.unknown.empty() || parsed.arguments.size() != 2) return kExitUsage;
    const std::string& given = parsed.arguments[1];
    if (!takesRouteBookName(given, {}, "edit-import", "")) return kExitUsage;
    std::optional<EditDocument> document = readDocumentFile(parsed.arguments[0]);
    if (!document) return kExitFile;
    const std::string name = toAnsi(given);
    StagingFolder staging;
    const std::string refusal = staging.ok() ? writeRouteBookSet(*document, staging.path(), name)
                                             : "cannot make a folder in the temporary folder";
    if (!refusal.empty()) {
        std::fprintf(stderr, "vantu-cli edit-import: %s is refused: %s\n",
                     parsed.arguments[0].c_str(), toTerminal(refusal).c_str());
        return kExitFile;
    }
    CliProgram program(output);
    if (!listRouteBooks(program, "edit-import")) return program.exitCode();
    DeviceManager& device = program.device();
    LocalTask task;
    TaskContext context = task.context(device, device.dataRoot);
    EditedInstall installed = installEditedSet(context, staging.path(), name, replace);
    if (installed == EditedInstall::Present)
        std::fprintf(stderr,
                     "vantu-cli edit-import: the navigator has a route book named %s already; "
                     "--replace replaces it\n",
                     given.c_str());
    if (installed != EditedInstall::Installed) program.note(kExitFailed);
    return program.exitCode();
}

const CliCommand kEditExport({
    "edit-export",
    "edit-export [--ansi] [--page-calls] NAME OUT.json",
    "write a route book of the navigator as the editing document",
    "Writes the route book titled or named NAME on the connected navigator as the editing\n"
    "document (JSON, UTF-8; docs/edit-document.md): its header, records, every track point and\n"
    "the set's other files, so that edit-import of the unchanged document gives the same files\n"
    "byte for byte. Warns on standard error of text the navigator cannot show and of files\n"
    "that were cut short (those come back as far as they were whole). The navigator is not\n"
    "changed.\n\n"
    "Exit status: 0 written, 1 no navigator, 2 usage, 3 no such route book or a copy from the\n"
    "navigator failed, 4 the route book cannot be a document (the reason on standard error) or\n"
    "OUT.json cannot be written.\n\n"
    "Example:\n"
    "  scripts/navsim-run /tmp/nav vantu-cli edit-export Day1 Day1.json\n",
    runEditExport,
});

const CliCommand kEditImport({
    "edit-import",
    "edit-import [--ansi] [--page-calls] IN.json NAME [--replace]",
    "write an editing document to the navigator as a route book",
    "Checks the editing document IN.json (docs/edit-document.md: its size, nesting, counts,\n"
    "lengths, coordinates, kinds and fields) and writes it to the connected navigator as the\n"
    "route book NAME by a complete copy: the files are written beside the others under a name\n"
    "the list passes over and take their place last. With --replace it takes the place of the\n"
    "route book NAME the navigator has; the old one stays until the new one is whole. Text the\n"
    "navigator cannot show, and track points it does not show, are warned of on standard error.\n\n"
    "Exit status: 0 written, 1 no navigator, 2 usage or a NAME the navigator cannot hold, 3\n"
    "NAME is present and --replace was not given, or a copy to the navigator failed, 4 the\n"
    "document cannot be read or fails its checks (the reason on standard error).\n\n"
    "Example:\n"
    "  scripts/navsim-run /tmp/nav vantu-cli edit-import Day1.json Day1 --replace\n",
    runEditImport,
});

}  // namespace
}  // namespace cli
