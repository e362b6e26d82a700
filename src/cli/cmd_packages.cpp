#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "build_config.h"
#include "cli.h"
#include "cli_program.h"
#include "formats/gpx.h"
#include "formats/route_file.h"
#include "formats/track_file.h"
#include "navigator_commands.h"
#include "options.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/archive.h"
#include "tasks/export_worker.h"
#include "tasks/http_transfer.h"
#include "tasks/import_worker.h"
#include "tasks/local_install.h"
#include "tasks/task_context.h"

// Route book packages between the PC and the navigator, without the route book server: install
// and export. (GPX files: cmd_packages_gpx.cpp.)
namespace cli {
namespace {

// The package copied into `staging` as the import reads it; nothing, said on standard error,
// when it cannot be read or is no zip.
std::optional<std::string> stagePackage(const std::string& package, const StagingFolder& staging) {
    std::optional<std::string> packagePath = localPath(package, "install");
    if (!packagePath) return std::nullopt;
    // The import writes its download to the temporary folder as NAME.zip and deletes it after
    // use: it gets a copy, so that a package lying there under that name is never lost.
    const std::string staged = platform::joinPath(staging.path(), "package.zip");
    platform::OsError error;
    if (!staging.ok() || !platform::copyFile(*packagePath, staged, true, &error)) {
        std::fprintf(stderr, "vantu-cli install: cannot read %s: %s\n", package.c_str(),
                     toTerminal(error.text).c_str());
        return std::nullopt;
    }
    if (ArchiveReader reader; !reader.open(staged)) {
        std::fprintf(stderr, "vantu-cli install: %s is not a zip package\n", package.c_str());
        return std::nullopt;
    }
    return staged;
}

int runInstall(const std::vector<std::string>& args) {
    Output output;
    std::string name;
    ParsedOptions parsed;
    if (!takeOptions(args, output, "install", {{"--name", &name}}, parsed)) return kExitUsage;
    if (!parsed.ok() || parsed.arguments.size() != 1) {
        std::fprintf(stderr, "vantu-cli install: give PACKAGE.zip (and optionally --name NAME)\n");
        return kExitUsage;
    }
    const std::string package = parsed.arguments[0];
    StagingFolder staging;
    std::optional<std::string> staged = stagePackage(package, staging);
    if (!staged) return kExitFile;
    if (name.empty())
        name = toTerminal(packageInnerName(*staged).value_or(toAnsi(baseName(package))));
    if (!takesRouteBookName(name, {}, "install", "; give --name")) return kExitUsage;

    CliProgram program(output);
    if (!listRouteBooks(program, "install")) return program.exitCode();
    // The import skips a route book the navigator has, also under a name that differs only in
    // letter case: say so instead of doing nothing.
    if (listedFileName(program.device(), toAnsi(name), true)) {
        std::fprintf(stderr,
                     "vantu-cli install: the navigator has a route book named %s already; "
                     "nothing was installed\n",
                     name.c_str());
        return kExitFailed;
    }
    ImportRequest request{{{"file://" + *staged, toAnsi(name)}}, LocalPackages::Allowed};
    DeviceManager& device = program.device();
    startTaskJob(device, device, [request](TaskContext& context) { runImport(context, request); });
    program.waitForTask();
    return program.exitCode();
}

int runExport(const std::vector<std::string>& words) {
    Output output;
    ParsedOptions parsed;
    if (!takeOptions(words, output, "export", {}, parsed)) return kExitUsage;
    const std::vector<std::string>& args = parsed.arguments;
    if (args.size() != 2) {
        std::fprintf(stderr, "vantu-cli export: give NAME and OUT.zip\n");
        return kExitUsage;
    }
    std::optional<std::string> out = localPath(args[1], "export");
    if (!out) return kExitFile;
    CliProgram program(output);
    std::optional<std::string> name = findRouteBook(program, args[0], "export");
    if (!name) return program.exitCode();
    StagingFolder staging;
    if (!staging.ok()) {
        std::fprintf(stderr, "vantu-cli export: cannot make a folder in the temporary folder\n");
        return kExitFile;
    }
    if (!fetchRouteBook(program, staging.path(), *name))
        return std::max<int>(program.exitCode(), kExitFailed);
    // Packed as for an upload: a bare track gets its generated route file in the package.
    LocalTask task;
    platform::OsError error;
    if (!buildPackage(task.context(program.device(), program.device().dataRoot), staging.path(),
                      *name, &error)) {
        std::fprintf(
            stderr, "vantu-cli export: %s\n",
            withCause("cannot write the package in " + toTerminal(staging.path()), error).c_str());
        program.note(kExitFile);
    } else if (!writeOut(platform::joinPath(staging.path(), *name + ".zip"), *out, args[1],
                         "export")) {
        program.note(kExitFile);
    }
    return program.exitCode();
}

const CliCommand kInstall({
    "install",
    "install [--ansi] [--page-calls] [--name NAME] PACKAGE.zip",
    "install a route book package from the PC on the navigator",
    "Installs the route book package PACKAGE.zip (a zip with N.trk, N.sim and the folder N with\n"
    "N.rut, as the route book server serves them, 'export' saves them and 'import-gpx' makes\n"
    "them) on the connected navigator under NAME, by default the name of the route book in\n"
    "the package (its track file's). It is the portal's import with the same worker, checks\n"
    "and messages: free space for five times the unpacked size, at most 20 MB, the set renamed\n"
    "to NAME, the track stamped. The messages are printed on standard error as with 'call'. A\n"
    "route book of that name on the navigator is left alone (exit status 3).\n\n"
    "Exit status: 0 installed, 1 no navigator, 2 usage, 3 the import failed (its status on\n"
    "standard error) or the name is taken, 4 the package cannot be read.\n\n"
    "Example:\n"
    "  scripts/navsim-run /tmp/nav vantu-cli install Day1.zip\n",
    runInstall,
});

const CliCommand kExport({
    "export",
    "export [--ansi] [--page-calls] NAME OUT.zip",
    "save a route book of the navigator as a package on the PC",
    "Saves the route book titled or named NAME on the connected navigator as the package the\n"
    "upload to the route book server would send (N.trk, N.sim, the folder N; a recorded track\n"
    "without route file gets a generated one) to OUT.zip. The navigator is not changed.\n\n"
    "Exit status: 0 saved, 1 no navigator, 2 usage, 3 no such route book or a copy from the\n"
    "navigator failed, 4 OUT.zip cannot be written.\n\n"
    "Example:\n"
    "  scripts/navsim-run /tmp/nav vantu-cli export Day1 Day1.zip\n",
    runExport,
});

}  // namespace
}  // namespace cli
