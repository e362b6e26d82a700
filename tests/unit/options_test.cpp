#include "cli/options.h"

#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::string>;

TEST(Options, TakesFlagsValuesAndArgumentsByTheCommandsRules) {
    struct Case {
        Words words;
        cli::OptionRules rules;
        Words arguments;
        std::string unknown, missing;
        bool flag;
        Words values;
    };
    const Case cases[] = {
        // Options and arguments mixed; a value that looks like an option is still the value.
        {{"a", "--flag", "--value", "--flag", "b"}, {}, {"a", "b"}, "", "", true, {"--flag"}},
        {{"--value", "1", "--value", "2"}, {}, {}, "", "", false, {"1", "2"}},
        // Leading only: the first argument ends the options, an option after it is an argument.
        {{"--flag", "m", "--value", "x"},
         {.leadingOnly = true},
         {"m", "--value", "x"},
         "",
         "",
         true,
         {}},
        {{"--bogus", "a"}, {}, {}, "--bogus", "", false, {}},
        {{"--", "a"}, {}, {}, "--", "", false, {}},
        {{"a", "--bogus", "--flag"},
         {.unknownIsArgument = true},
         {"a", "--bogus"},
         "",
         "",
         true,
         {}},
        {{"--bogus", "--flag"},
         {.leadingOnly = true, .unknownIsArgument = true},
         {"--bogus", "--flag"},
         "",
         "",
         false,
         {}},
        {{"a", "--value"}, {}, {"a"}, "", "--value", false, {}},
        {{"-", "-x"}, {}, {"-", "-x"}, "", "", false, {}},
    };
    for (const Case& c : cases) {
        bool flag = false;
        Words values;
        cli::ParsedOptions parsed =
            cli::parseOptions(c.words, {{"--flag", &flag}, {"--value", &values}}, c.rules);
        SCOPED_TRACE(testing::PrintToString(c.words));
        EXPECT_EQ(parsed.arguments, c.arguments);
        EXPECT_EQ(parsed.unknown, c.unknown);
        EXPECT_EQ(parsed.missingValue, c.missing);
        EXPECT_EQ(flag, c.flag);
        EXPECT_EQ(values, c.values);
    }
}

}  // namespace
