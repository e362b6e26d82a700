#pragma once

#include <string>
#include <vector>

#include "bridge/script_value.h"

// The words of the calls that call and shell read: from the command line or a line of input.
namespace cli {

// A command-line argument as a script value: "int:N", "num:X", "bool:true|false", "null:",
// "str:TEXT" (to pass a text that starts like a prefix), anything else a string. Text is UTF-8.
ScriptValue parseScriptArg(const std::string& arg);

// Splits a line into words with shell-like quoting ('...', "...", backslash escapes).
bool splitShellWords(const std::string& line, std::vector<std::string>& words);

}  // namespace cli
