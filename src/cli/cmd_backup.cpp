#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "cli_program.h"
#include "options.h"
#include "tasks/backup.h"

// A backup of the navigator's data into a zip on the PC, and its restore: backup, restore.
namespace cli {
namespace {

struct BackupOptions {
    Output output;
    bool replace = false;
    std::string archive;  // as given (UTF-8)
};

// [--ansi] [--page-calls] [--replace, for restore] ARCHIVE; false for anything else.
bool takeOptions(const std::vector<std::string>& args, bool restore, BackupOptions& options) {
    std::vector<Option> table = {{"--ansi", &options.output.ansi},
                                 {"--page-calls", &options.output.pageCalls}};
    if (restore) table.push_back({"--replace", &options.replace});
    ParsedOptions parsed = parseOptions(args, table);
    if (!parsed.ok() || parsed.arguments.size() != 1 || parsed.arguments[0].empty()) return false;
    options.archive = parsed.arguments[0];
    return true;
}

// A backup's text (UTF-8) as the terminal shows it.
std::string shown(const std::string& text, const Output& output) {
    return output.ansi ? toAnsi(text) : text;
}

// Why a backup or restore failed, with the system's cause when it had one.
std::string shownProblem(const BackupOutcome& outcome, const Output& output) {
    return withCause(shown(outcome.problem, output), outcome.error, output.ansi);
}

// Finds the navigator as every device method does, but without its probe file: a run's first
// search only looks, and a backup must leave the navigator untouched.
bool connect(CliProgram& program, const char* command) {
    if (checkConnection(program.device())) return true;
    std::fprintf(stderr, "vantu-cli %s: no navigator is connected\n", command);
    program.note(kExitRefused);
    return false;
}

int runBackup(const std::vector<std::string>& args) {
    BackupOptions options;
    if (!takeOptions(args, false, options)) {
        std::fprintf(stderr, "vantu-cli backup: give OUT.zip\n");
        return kExitUsage;
    }
    std::optional<std::string> archive = localPath(options.archive, "backup");
    if (!archive) return kExitFile;
    CliProgram program(options.output);
    if (!connect(program, "backup")) return program.exitCode();
    auto outcome = std::make_shared<BackupOutcome>();
    DeviceManager& device = program.device();
    startBackup(device, device, *archive, outcome);
    program.waitForTask();
    if (!outcome->problem.empty()) {
        std::fprintf(stderr, "vantu-cli backup: %s; no backup was written\n",
                     shownProblem(*outcome, options.output).c_str());
        if (outcome->archiveFailed) program.note(kExitFile);
    } else if (outcome->finished) {
        for (const LeftOut& left : outcome->leftOut)
            std::fprintf(stderr, "vantu-cli backup: left out %s: %s\n",
                         shown(left.name, options.output).c_str(),
                         shown(left.why, options.output).c_str());
        std::printf("backed up %zu files (%llu bytes) to %s", outcome->files,
                    static_cast<unsigned long long>(outcome->bytes), options.archive.c_str());
        if (!outcome->leftOut.empty()) {
            std::printf("; %zu things of the navigator left out\n", outcome->leftOut.size());
            program.note(kExitIncomplete);
        } else {
            std::printf("\n");
        }
    }
    return program.exitCode();
}

// What a restore did, on the terminal; the exit status noted in `program`.
void reportRestore(CliProgram& program, const BackupOptions& options,
                   const BackupOutcome& outcome) {
    for (const std::string& name : outcome.kept)
        std::fprintf(stderr, "vantu-cli restore: kept %s, which differs from the backup\n",
                     shown(name, options.output).c_str());
    if (outcome.finished)
        for (const std::string& name : outcome.replaced)
            std::fprintf(stderr, "vantu-cli restore: replaced %s by the backup's\n",
                         shown(name, options.output).c_str());
    if (!outcome.problem.empty()) {
        std::fprintf(stderr, "vantu-cli restore: %s: %s; %s\n", options.archive.c_str(),
                     shownProblem(outcome, options.output).c_str(),
                     outcome.files ? "the files restored before it stay restored"
                                   : "nothing on the navigator was changed");
        if (outcome.archiveFailed) program.note(kExitFile);
        return;
    }
    if (!outcome.kept.empty()) {
        std::fprintf(stderr, "vantu-cli restore: give --replace to replace them\n");
        program.note(kExitFailed);
    }
    if (outcome.finished)
        std::printf("restored %zu files (%llu bytes), %zu already as backed up, %zu kept\n",
                    outcome.files, static_cast<unsigned long long>(outcome.bytes),
                    outcome.unchanged, outcome.kept.size());
}

int runRestore(const std::vector<std::string>& args) {
    BackupOptions options;
    if (!takeOptions(args, true, options)) {
        std::fprintf(stderr, "vantu-cli restore: give IN.zip (and optionally --replace)\n");
        return kExitUsage;
    }
    std::optional<std::string> archive = localPath(options.archive, "restore");
    if (!archive) return kExitFile;
    CliProgram program(options.output);
    if (!connect(program, "restore")) return program.exitCode();
    auto outcome = std::make_shared<BackupOutcome>();
    ReplaceQuestion replace;
    if (options.replace) replace = [](const std::vector<std::string>&) { return true; };
    DeviceManager& device = program.device();
    startRestore(device, device, *archive, replace, outcome);
    program.waitForTask();
    reportRestore(program, options, *outcome);
    return program.exitCode();
}

const CliCommand kBackup({
    "backup",
    "backup [--ansi] [--page-calls] OUT.zip",
    "save everything the navigator keeps (route books, tracks, places, settings) in a zip",
    "Saves the connected navigator's data folder, the folder that holds its track folder\n"
    "(normally userdata), with everything in it into OUT.zip: the route books and recorded\n"
    "tracks (track), the saved places (poi\\address.poi) and the navigator's own settings and\n"
    "other files beside them. The zip holds them under userdata\\ as they are (stored, not\n"
    "compressed) and a manifest, manifest.txt, with each file's size, CRC-32 and time. The\n"
    "navigator is only read: nothing is written there. Names are kept exactly as the\n"
    "navigator has them (UTF-8 in the zip). What no restore could put back (a name, depth or\n"
    "path longer than a navigator holds, two names for one file) and, on a drive, links,\n"
    "FIFOs, devices and sockets are left out, each named on standard error. OUT.zip is\n"
    "replaced only when the backup is written to its end. Progress is printed as for\n"
    "install, one item per file.\n\n"
    "Exit status: 0 saved, 1 no navigator, 2 usage, 3 a file of the navigator cannot be read\n"
    "(its status on standard error), 4 OUT.zip cannot be written, 5 saved, but with things of\n"
    "the navigator left out (named on standard error).\n\n"
    "Example:\n"
    "  scripts/navsim-run /tmp/nav vantu-cli backup nav-backup.zip\n",
    runBackup,
});

const CliCommand kRestore({
    "restore",
    "restore [--ansi] [--page-calls] [--replace] IN.zip",
    "put the files of a backup back on the navigator",
    "Checks the backup IN.zip made by 'backup' first: every file the manifest lists must be\n"
    "there once, with its size and CRC, and nothing else; names must stay inside the data\n"
    "folder and fit the navigator's names, depth and paths; no file may take the place of a\n"
    "folder of the navigator, nor a folder the place of a file. A backup that fails is\n"
    "refused and nothing is changed. Then puts back every file the navigator lacks; a file\n"
    "the navigator holds with other contents is kept (and named) unless --replace is given.\n"
    "Files the backup does not hold are left alone. Each file is written beside the old one\n"
    "under a temporary name, checked, and only then put in its place, so a restore cut short\n"
    "(the cable pulled, the program killed) leaves every file old or new, never cut; the next\n"
    "restore clears what it left. Backups of both formats restore (docs/backup-format.md).\n"
    "Progress is printed as for install, one item per file written.\n\n"
    "Exit status: 0 restored, 1 no navigator, 2 usage, 3 a file cannot be written, not enough\n"
    "free space, or files that differ were kept, 4 IN.zip cannot be read or is refused.\n\n"
    "Example:\n"
    "  scripts/navsim-run /tmp/nav vantu-cli restore --replace nav-backup.zip\n",
    runRestore,
});

}  // namespace
}  // namespace cli
