#pragma once

#include <string>
#include <string_view>

// The page shown when the portal cannot be reached: "nolink.html" with its picture "nolink.gif",
// written into the program's private folder every time it is needed.

// What the text page says (UTF-8): shown when even the offline page cannot be written.
inline constexpr const char* kOfflineText = "请联网以后使用！";
// The text page's address: "about:" and the text (ANSI).
std::string offlineFallbackAddress();

// The offline page, ANSI (GBK) bytes on one line.
std::string offlinePageText();

// `folder` is the program's private folder (platform::privateFolder(): empty when there is
// none); `picture` is the GIF's bytes. Each file is written as a new one, so that nothing found
// at its name (a link, a pipe) is followed. Answers the local path of "nolink.html", or
// offlineFallbackAddress() when the folder is missing or a file cannot be written. A host shows
// the bytes it holds, never what it finds in the file afterwards.
std::string buildOfflinePage(const std::string& folder, std::string_view picture);

// True for the browser's own error pages (Windows): addresses that begin with "res://", letter
// case as written.
bool isBrowserErrorPage(std::string_view address);
