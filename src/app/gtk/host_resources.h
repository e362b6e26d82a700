#pragma once

#include <string_view>

// Files built into the program.
std::string_view offlinePicture();  // nolink.gif, 507 x 230
std::string_view windowIcon();      // GIF, 48 x 48
// window.external, with "@KEY@" for the document key and "@NAMES@" for the method names
std::string_view externalScript();
std::string_view hostStyleSheet();  // no selection outside form fields, no scroll bars
