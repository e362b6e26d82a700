#include "call_arguments.h"

#include <cstdlib>

#include "platform/codepage.h"

namespace cli {

ScriptValue parseScriptArg(const std::string& arg) {
    auto text = [](const std::string& utf8) {
        return ScriptValue::string(platform::ansiToUtf16(platform::utf8ToAnsi(utf8)));
    };
    if (arg.rfind("str:", 0) == 0) return text(arg.substr(4));
    if (arg.rfind("int:", 0) == 0)
        return ScriptValue::int32(static_cast<int32_t>(std::strtol(arg.c_str() + 4, nullptr, 10)));
    if (arg.rfind("num:", 0) == 0) return ScriptValue::real(std::strtod(arg.c_str() + 4, nullptr));
    if (arg == "bool:true") return ScriptValue::boolValue(true);
    if (arg == "bool:false") return ScriptValue::boolValue(false);
    if (arg == "null:") return ScriptValue::null();
    return text(arg);
}

bool splitShellWords(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                word += c;
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < line.size() &&
                       (line[i + 1] == '"' || line[i + 1] == '\\' || line[i + 1] == '$')) {
                word += line[++i];
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) return false;
    if (inWord) words.push_back(word);
    return true;
}

}  // namespace cli
