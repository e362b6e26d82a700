#pragma once

#include <climits>
#include <cstdlib>
#include <string>

// The C library's atoi without its undefined behaviour on overflow: leading white space and a
// sign are accepted, the digits up to the first other character are read, text without leading
// digits gives 0, and a value beyond the 32-bit range gives the nearest end of that range.
inline int atoiSaturated(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}
