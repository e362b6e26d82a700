#include <cstdio>
#include <string>
#include <vector>

#include "build_config.h"
#include "cli.h"
#include "platform/codepage.h"
#include "platform/library.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace {

void printUsage(FILE* out) {
    std::fprintf(out,
                 "vantu-cli %s: the navigator companion's page methods and file tools from a "
                 "terminal.\n\nUsage:\n",
                 build_config::kVersion);
    for (const auto& c : cli::commands())
        std::fprintf(out, "  vantu-cli %s\n      %s\n", c.usage, c.summary);
    std::fprintf(out,
                 "  vantu-cli --version\n      print the version\n\n"
                 "Exit status (when several apply, the highest):\n"
                 "  0  every call and step succeeded\n"
                 "  1  a call was refused: it answered no value (S_FALSE), for example a\n"
                 "     navigator method while no navigator is connected\n"
                 "  2  usage: unknown command, method or option, missing or extra arguments\n"
                 "  3  the program reported a failure: a status other than 0 (printed on\n"
                 "     standard error), a refused argument, a route book not on the navigator\n"
                 "  4  a local file could not be read, understood or written\n\n"
                 "Settings (vantu.ini) and text files live beside this executable.\n"
                 "'vantu-cli help COMMAND' or 'vantu-cli COMMAND --help' explains a command.\n");
}

// The command line as UTF-8 text. Windows hands main() the arguments in the ANSI code page, with
// what it cannot hold already turned into '?': they are taken from the wide command line
// instead, so that such a path is recognised and refused rather than taken for another.
std::vector<std::string> commandLine(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr && count == argc) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) {
            int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(size > 0 ? static_cast<size_t>(size) : 1, '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
            arg.resize(arg.size() - 1);
            args.push_back(std::move(arg));
        }
        LocalFree(wide);
        return args;
    }
    if (wide != nullptr) LocalFree(wide);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(platform::ansiToUtf8(argv[i]));
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

const cli::Command* find(const std::string& name) {
    for (const auto& c : cli::commands())
        if (name == c.name) return &c;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    platform::loadLibrariesFromSystemOnly();
#ifdef _WIN32
    // Looking at an empty card reader or a drive that went away must fail quietly, not stop the
    // command behind a "no disk" box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
#endif
    std::vector<std::string> args = commandLine(argc, argv);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printUsage(args.empty() ? stderr : stdout);
        return args.empty() ? cli::kExitUsage : cli::kExitOk;
    }
    if (args[0] == "--version") {
        std::printf("vantu-cli %s\n", build_config::kVersion);
        return cli::kExitOk;
    }
    if (args[0] == "help") {
        if (args.size() > 1) {
            if (const cli::Command* c = find(args[1])) {
                std::printf("Usage: vantu-cli %s\n\n%s", c->usage, c->help);
                return cli::kExitOk;
            }
        }
        printUsage(stdout);
        return cli::kExitOk;
    }
    const cli::Command* command = find(args[0]);
    if (command == nullptr) {
        std::fprintf(stderr, "vantu-cli: unknown command '%s'\n\n", args[0].c_str());
        printUsage(stderr);
        return cli::kExitUsage;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h")) {
        std::printf("Usage: vantu-cli %s\n\n%s", command->usage, command->help);
        return cli::kExitOk;
    }
    return command->run(rest);
}
