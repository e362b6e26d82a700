#include "cli.h"

#include <cstdio>

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

std::string forOutput(const std::string& ansi, bool ansiOut) {
    if (ansiOut) return ansi;
    std::string out = platform::ansiToUtf8(ansi);
    // A reader of the UTF-8 text must not take it for GBK.
    if (out.rfind("<?xml", 0) != 0) return out;
    size_t end = out.find("?>");
    size_t at = out.find("encoding=", 0);
    if (end == std::string::npos || at == std::string::npos || at > end) return out;
    size_t open = at + 9;
    if (open >= end || (out[open] != '"' && out[open] != '\'')) return out;
    size_t close = out.find(out[open], open + 1);
    if (close == std::string::npos || close > end) return out;
    return out.replace(open + 1, close - open - 1, "UTF-8");
}

std::string withCause(const std::string& message, const platform::OsError& error, bool ansiOut) {
    if (!error.failed()) return message;
    return message + ": " + (ansiOut ? error.text : toTerminal(error.text));
}

std::optional<std::string> localPath(const std::string& utf8, const char* command) {
    std::string ansi = toAnsi(utf8);
    if (toTerminal(ansi) == utf8) return ansi;
    std::fprintf(stderr,
                 "vantu-cli %s: the path %s has characters the system's code page cannot hold; "
                 "rename it or choose another\n",
                 command, utf8.c_str());
    return std::nullopt;
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace cli
