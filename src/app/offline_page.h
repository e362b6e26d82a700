#pragma once

#include <string>
#include <string_view>

// The page shown when the portal cannot be reached: "nolink.html" with its picture "nolink.gif",
// written into a folder "vantu" under the temporary folder every time it is needed.

// The text page shown when even the offline page cannot be written (ANSI).
std::string offlineFallbackAddress();

// The offline page, ANSI (GBK) bytes on one line.
std::string offlinePageText();

// `tempFolder` ends with a separator; `picture` is the GIF's bytes. Answers the local path of
// "nolink.html", or offlineFallbackAddress() when the folder or a file cannot be written.
std::string buildOfflinePage(const std::string& tempFolder, std::string_view picture);

// The folder buildOfflinePage writes into.
std::string offlineFolder(const std::string& tempFolder);

// True for the browser's own error pages (Windows): addresses that begin with "res://", letter
// case as written.
bool isBrowserErrorPage(std::string_view address);
