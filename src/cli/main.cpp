#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "platform/codepage.h"

namespace cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}
}  // namespace

CliCommand::CliCommand(const Command& command) {
    registry().push_back(command);
}

const std::vector<Command>& commands() {
    return registry();
}

std::string toAnsi(const std::string& utf8) {
    return platform::utf8ToAnsi(utf8);
}
std::string toTerminal(const std::string& ansi) {
    return platform::ansiToUtf8(ansi);
}

}  // namespace cli

namespace {

void printUsage(FILE* out) {
    std::fprintf(out,
                 "vantu-cli: the navigator companion's page methods and file tools from a "
                 "terminal.\n\nUsage:\n");
    for (const auto& c : cli::commands())
        std::fprintf(out, "  vantu-cli %s\n      %s\n", c.usage, c.summary);
    std::fprintf(out,
                 "\nSettings (vantu.ini) and text files live beside this executable.\n"
                 "'vantu-cli help COMMAND' or 'vantu-cli COMMAND --help' explains a command.\n");
}

const cli::Command* find(const std::string& name) {
    for (const auto& c : cli::commands())
        if (name == c.name) return &c;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "help") {
        if (args.size() > 1) {
            if (const cli::Command* c = find(args[1])) {
                std::printf("Usage: vantu-cli %s\n\n%s", c->usage, c->help);
                return 0;
            }
        }
        printUsage(stdout);
        return 0;
    }
    const cli::Command* command = find(args[0]);
    if (command == nullptr) {
        std::fprintf(stderr, "vantu-cli: unknown command '%s'\n\n", args[0].c_str());
        printUsage(stderr);
        return 2;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h")) {
        std::printf("Usage: vantu-cli %s\n\n%s", command->usage, command->help);
        return 0;
    }
    return command->run(rest);
}
