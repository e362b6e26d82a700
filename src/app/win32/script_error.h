#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include <string>

// The browser engine's report of a script error in the page, as one line for the program's log
// ("script error: MESSAGE (ADDRESS, line N)"): `document` is what the engine hands over with
// its request to show the error, and its window's event object holds the error's message, line
// and address. Whatever cannot be read is left out.
std::string scriptErrorLine(IUnknown* document);
