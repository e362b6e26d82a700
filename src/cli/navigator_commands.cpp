#include "navigator_commands.h"

#include <cstdio>

#include "device/device_names.h"
#include "ops/route_book_list.h"
#include "platform/file_ops.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tasks/route_book_set.h"

namespace cli {

namespace {
constexpr const char* kNameRule = " (none of & \\ / : * ? \" < > |, no dot or space at the end)";
}  // namespace

StagingFolder::StagingFolder() {
    const std::string run = platform::privateFolder();
    for (int i = 0; i < 100 && path_.empty() && !run.empty(); ++i) {
        std::string candidate = run + "staging-" + std::to_string(i);
        if (!platform::fileExists(candidate) && !platform::folderExists(candidate) &&
            platform::createFolder(candidate))
            path_ = candidate;
    }
}

StagingFolder::~StagingFolder() {
    if (!path_.empty()) platform::removeTree(path_);
}

bool takeOptions(const std::vector<std::string>& args, Output& output, const char* command,
                 std::vector<Option> own, ParsedOptions& parsed) {
    own.push_back({"--ansi", &output.ansi});
    own.push_back({"--page-calls", &output.pageCalls});
    parsed = parseOptions(args, own, {.leadingOnly = true});
    if (parsed.unknown.empty()) return true;
    std::fprintf(stderr, "vantu-cli %s: unknown option %s\n", command, parsed.unknown.c_str());
    return false;
}

std::optional<std::string> listedFileName(DeviceManager& device, const std::string& wanted,
                                          bool anyCase) {
    return device.routeBooks.use([&](const RouteBookEntries& list) -> std::optional<std::string> {
        for (const auto& entry : list)
            if (entry->title == wanted || entry->fileName == wanted ||
                (anyCase && sameDeviceName(entry->fileName, wanted)))
                return entry->fileName;
        return std::nullopt;
    });
}

bool takesRouteBookName(const std::string& name, const std::string& folder, const char* command,
                        const char* hint) {
    if (name.find('&') == std::string::npos && isRouteBookFileName(folder, toAnsi(name)))
        return true;
    std::fprintf(stderr, "vantu-cli %s: %s cannot name a route book on the navigator%s%s\n",
                 command, name.c_str(), kNameRule, hint);
    return false;
}

bool listRouteBooks(CliProgram& program, const char* command) {
    ScriptResult listing;
    if (program.invoke("connToPDA", {"r"}, listing) != ExternalObject::kStatusFalse) return true;
    std::fprintf(stderr, "vantu-cli %s: no navigator is connected\n", command);
    return false;
}

std::optional<std::string> findRouteBook(CliProgram& program, const std::string& name,
                                         const char* command) {
    if (!listRouteBooks(program, command)) return std::nullopt;
    const std::string wanted = toAnsi(name);
    if (std::optional<std::string> found = listedFileName(program.device(), wanted)) return found;
    std::fprintf(stderr,
                 "vantu-cli %s: the navigator has no route book named %s ('vantu-cli call "
                 "connToPDA r' lists them)\n",
                 command, name.c_str());
    program.note(kExitFailed);
    return std::nullopt;
}

bool fetchRouteBook(CliProgram& program, const std::string& folder, const std::string& name) {
    DeviceManager& device = program.device();
    LocalTask task;
    return copyRouteBookFromDevice(task.context(device, device.dataRoot), folder, name);
}

bool writeOut(const std::string& from, const std::string& out, const std::string& outUtf8,
              const char* command) {
    platform::OsError error;
    if (platform::replaceWithCopy(from, out, &error)) return true;
    std::fprintf(stderr, "vantu-cli %s: %s\n", command,
                 withCause("cannot write " + outUtf8, error).c_str());
    return false;
}

}  // namespace cli
