#pragma once

#include <string>
#include <string_view>

// What the browser's requests say of the program. Tile servers ask that requests name the
// application and its version (OpenStreetMap's tile policy): the browser's user agent gets
// "KorvelVantu/<version>" added, and nothing else about the user is sent.
inline constexpr const char* kUserAgentName = "KorvelVantu";

// The browser's own user agent followed by the program's name and version.
std::string withProgramAgent(std::string_view browserAgent);
