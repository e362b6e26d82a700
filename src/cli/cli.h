#pragma once

#include <string>
#include <vector>

// vantu-cli's commands. Each command file registers itself with a static CliCommand object.
namespace cli {

struct Command {
    const char* name;
    const char* usage;    // one line: "call [--ansi] METHOD [ARG...] [-- METHOD [ARG...]]..."
    const char* summary;  // one line
    const char* help;     // the full explanation with an example
    int (*run)(const std::vector<std::string>& args);  // args after the command name
};

struct CliCommand {
    explicit CliCommand(const Command& command);
};

const std::vector<Command>& commands();

// Terminal text (UTF-8) and the program's ANSI text.
std::string toAnsi(const std::string& utf8);
std::string toTerminal(const std::string& ansi);

}  // namespace cli
