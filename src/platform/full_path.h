#pragma once

#include <optional>
#include <string>
#include <string_view>

// Local paths made absolute.
namespace platform {

// True for a path that names its place without the current folder: a drive or a network share
// on Windows, a leading '/' on POSIX.
bool isAbsolutePath(std::string_view path);
// The absolute form of `path` (against the current folder), with "." and ".." resolved by name;
// a trailing separator is kept. Nothing when it cannot be formed.
std::optional<std::string> fullPath(const std::string& path);

}  // namespace platform
