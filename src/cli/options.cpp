#include "options.h"

#include <algorithm>

namespace cli {

namespace {

// Stores `value` where the option's value goes.
struct Store {
    const std::string& value;
    void operator()(bool* flag) const { *flag = true; }
    void operator()(std::string* text) const { *text = value; }
    void operator()(std::optional<std::string>* text) const { *text = value; }
    void operator()(std::vector<std::string>* list) const { list->push_back(value); }
};

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& words,
                           const std::vector<Option>& options, OptionRules rules) {
    ParsedOptions parsed;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto option = std::find_if(options.begin(), options.end(),
                                   [&](const Option& o) { return word == o.name; });
        if (option == options.end() && (word.rfind("--", 0) != 0 || rules.unknownIsArgument)) {
            if (rules.leadingOnly) {
                parsed.arguments.assign(words.begin() + static_cast<std::ptrdiff_t>(i),
                                        words.end());
                break;
            }
            parsed.arguments.push_back(word);
        } else if (option == options.end()) {
            parsed.unknown = word;
            break;
        } else if (std::holds_alternative<bool*>(option->target)) {
            std::visit(Store{word}, option->target);
        } else if (i + 1 == words.size()) {
            parsed.missingValue = word;
        } else {
            std::visit(Store{words[++i]}, option->target);
        }
    }
    return parsed;
}

}  // namespace cli
