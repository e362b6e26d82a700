// The page's bridge (portal/bridge.js) against the table of page methods: the page reaches every
// method only through it, with exactly the method's number of arguments.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/page_method_table.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

size_t countArguments(const std::string& list) {
    if (list.find_first_not_of(' ') == std::string::npos) return 0;
    size_t commas = 0;
    int depth = 0;
    for (char c : list) {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        commas += c == ',' && depth == 0;
    }
    return commas + 1;
}

// The text between the bracket at `open` and its partner.
std::string enclosed(const std::string& text, size_t open) {
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
        if (depth == 0) return text.substr(open + 1, i - open - 1);
    }
    return {};
}

// Each method of the object the bridge hands out, as "name(wrapper's parameters) ->
// external.name(arguments)", with the two counts.
std::vector<std::string> bridgeMethods(const std::string& script) {
    std::vector<std::string> methods;
    const std::string kFunction = ": function (";
    for (size_t at = script.find(kFunction, script.rfind("return {")); at != std::string::npos;
         at = script.find(kFunction, at + 1)) {
        size_t nameStart = script.find_last_of(" \n", at) + 1;
        std::string name = script.substr(nameStart, at - nameStart);
        size_t parameters = countArguments(enclosed(script, at + kFunction.size() - 1));
        size_t call = script.find("external.", at);
        size_t paren = script.find('(', call);
        std::string called = script.substr(call + 9, paren - call - 9);
        methods.push_back(name + "/" + std::to_string(parameters) + " -> " + called + "/" +
                          std::to_string(countArguments(enclosed(script, paren))));
    }
    return methods;
}

TEST(PageMethodTable, TheBridgeCallsEveryMethodWithItsNumberOfArguments) {
    std::string script;
    ASSERT_TRUE(platform::readWholeFile(
        platform::programFolder() + "portal" + platform::kPathSeparator + "bridge.js", script));
    std::vector<std::string> expected;
    for (const PageMethod& method : pageMethods()) {
        std::string count = std::to_string(method.argumentCount());
        expected.push_back(std::string(method.name) + "/" + count + " -> " + method.name + "/" +
                           count);
    }
    EXPECT_EQ(bridgeMethods(script), expected);
}

}  // namespace
