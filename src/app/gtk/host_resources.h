#pragma once

#include <string_view>

// Files built into the program.
std::string_view offlinePicture();  // nolink.gif, 507 x 230
std::string_view windowIcon();      // GIF, 48 x 48
std::string_view externalScript();  // window.external, with "@KEY@" for the document key
std::string_view hostStyleSheet();  // no selection outside form fields, no scroll bars
