#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

// The options of vantu-cli's commands: each command lists its own in a table and hands the
// words after the command name to parseOptions.
namespace cli {

// An option's spelling and where it goes: a flag sets its bool; a value option takes the next
// word, replacing the earlier one (an optional tells whether one was given at all) or adding to
// the list.
struct Option {
    const char* name;  // "--ansi"
    std::variant<bool*, std::string*, std::optional<std::string>*, std::vector<std::string>*>
        target;
};

struct OptionRules {
    // Options only before the first argument; everything from there on is an argument (a
    // METHOD's own arguments may look like options).
    bool leadingOnly = false;
    // A word that looks like an option but is none of the table's is an argument, not a refusal.
    bool unknownIsArgument = false;
};

struct ParsedOptions {
    std::vector<std::string> arguments;
    std::string unknown;       // the first unknown option, when refused
    std::string missingValue;  // a value option given last, without its value
    bool ok() const { return unknown.empty() && missingValue.empty(); }
};

// Words that start with "--" are options. Parsing stops at the first refusal.
ParsedOptions parseOptions(const std::vector<std::string>& words,
                           const std::vector<Option>& options, OptionRules rules = {});

}  // namespace cli
