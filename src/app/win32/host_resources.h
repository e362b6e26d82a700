#pragma once

#include <string_view>

// Resources built into the program file (vantu.rc).

// The offline picture (resource type "IMAGE"): a GIF of 507 x 230 pixels; empty when the program
// file has none.
std::string_view offlinePicture();
