#pragma once

#include <string>

// The operations behind the page's methods, as the external object calls them. Every text is
// ANSI; every operation answers at once (the three task operations only start their task).
// The defaults answer nothing, so a program without some subsystem still serves the page.
class ExternalMethods {
  public:
    virtual ~ExternalMethods() = default;

    // The device gate: 1 when a navigator's data folder is known and reachable.
    virtual int checkConnection() { return 0; }
    // Not a page method: the window asks for a fresh remote link here after a device change that
    // found no navigator, as it checks the connection through checkConnection.
    virtual void restartDeviceLink() {}

    virtual std::string setUsername(const std::string& /*account*/) { return {}; }
    virtual std::string connToPDA(const std::string& /*text*/) { return {}; }
    virtual std::string getPdaAddr() { return {}; }
    virtual std::string poiToPDA(const std::string& /*text*/) { return {}; }
    virtual std::string deleteSelectedPoi(const std::string& /*text*/) { return {}; }
    virtual std::string showRoadbook(const std::string& /*text*/) { return {}; }
    // The task operations own their argument from here on.
    virtual std::string importToPDA(std::string /*text*/) { return {}; }
    virtual std::string deleteSelected(std::string /*text*/) { return {}; }
    virtual std::string exportFromPDA(std::string /*text*/) { return {}; }
    virtual void pauseTask(const std::string& /*text*/) {}

    // The program's own methods beside the portal's: files on the PC, which the user chooses in
    // the system's dialog (bridge/pc_files.h).
    virtual std::string installPackageFromPC(const std::string& /*name*/) { return {}; }
    virtual std::string installGpxFromPC(const std::string& /*name*/) { return {}; }
    virtual std::string saveGpxToPC(const std::string& /*rbid*/) { return {}; }
    virtual std::string backupToPC(const std::string& /*name*/) { return {}; }
    virtual std::string restoreFromPC(const std::string& /*choice*/) { return {}; }
    virtual std::string backupOutcome() { return {}; }
};
