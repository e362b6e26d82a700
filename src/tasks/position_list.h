#pragma once

#include <string>
#include <vector>

// The page's list of route book positions ("2,,5"): the pieces between commas, empty ones left
// out, each read as a decimal number the way the C library's atoi reads it (text that is not a
// number reads as 0; a number too large for an int reads as -1, which no position can be).
std::vector<long long> parsePositionList(const std::string& text);
