#pragma once

#include <string>

// The update's network reads: fresh copies (no cache), agent "Hello", the system's proxy
// settings. A body counts only when it arrived whole with a status below 400.

// The whole body of a URL; empty when it cannot be fetched.
std::string fetchText(const std::string& url);

// Downloads a URL into a file, replacing an existing one: 1, or 0 when the URL or the file cannot
// be opened or the transfer does not complete (a partly written file is left as it is).
int fetchToFile(const std::string& url, const std::string& path);
