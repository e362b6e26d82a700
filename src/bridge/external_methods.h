#pragma once

#include <string>

#include "bridge/page_method_table.h"

// What the external object runs the page's methods on: the device gate and the operations of
// the program (ProgramMethods), or a stand-in. Every text is ANSI; every operation answers at
// once (the task operations only start their task). The defaults answer nothing, so a program
// without some subsystem still serves the page.
class ExternalMethods {
  public:
    virtual ~ExternalMethods() = default;

    // The device gate: 1 when a navigator's data folder is known and reachable.
    virtual int checkConnection() { return 0; }
    // Not a page method: the window asks for a fresh remote link here after a device change that
    // found no navigator, as it checks the connection through checkConnection.
    virtual void restartDeviceLink() {}

    // Runs the operation of `method` (any kind but Setting) with its text, "" for a method that
    // takes none.
    virtual MethodOutcome run(const PageMethod& /*method*/, std::string /*text*/) { return {}; }
};
