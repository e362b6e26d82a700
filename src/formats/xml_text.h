#pragma once

#include <string>
#include <string_view>

// Text inserted into the program's XML documents. The documents are ANSI (GBK): only the ASCII
// specials are replaced, which is safe because no GBK trail byte is below 0x40.

// `ansi` with & < > " replaced by their entities; everything else unchanged.
std::string xmlEscape(std::string_view ansi);
// The same, appended to `out`.
void appendXmlEscaped(std::string& out, std::string_view ansi);
// UTF-8 text for the same documents: the specials replaced, and every character that the code
// page cannot hold written as a character reference ("&#54620;"), so that nothing is lost.
std::string xmlEscapeUnicode(std::string_view utf8Text);
